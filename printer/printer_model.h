// The simulated printer's own state: what it says about itself (IEEE 1284 device ID, build
// information, firmware version) and what its flash holds. Thread-safe: a server thread serves
// it while a test reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace simprinter {

// Reply status codes of this printer. 1 is success; the others are its own choice.
enum Status : uint16_t {
  kStatusFailed = 0,          // unknown command
  kStatusSuccess = 1,
  kStatusBadChecksum = 2,     // image bytes do not match the announced checksum
  kStatusBadTarget = 3,       // flash target other than 3 or 4
  kStatusBadImage = 4,        // empty or oversized image, or no usable version in its trailer
};

struct PrinterSettings {
  std::string model = "TV Vexline Q5530n MFP";
  std::string deviceId;  // empty: built from `model`
  std::string firmwareFields[3] = {"Q5530n_V0215", "ENGINE_0112", "BOOT_0031"};
  std::string culture = "WESTERN";
  std::string buildInfo;  // empty: "FW:<a>, <b>, <c>; PANEL: <culture>;"
  uint32_t version = 215;
};

// The largest image the printer takes (its flash size).
constexpr uint32_t kFlashSize = 64u << 20;
// Firmware versions are reported as 8 decimal digits.
constexpr uint32_t kHighestVersion = 99999999;

// 16-bit one's-complement checksum of an image: big-endian byte pairs summed, an odd last byte
// added as a low byte, carries folded back, the result inverted.
uint16_t ImageChecksum(const uint8_t* data, size_t size);
// Version stored in an image's trailer: the last byte is the trailer length N; the trailer (its
// first 40 bytes at most) holds a zero-terminated label followed by the decimal digits. 0 when
// there is none.
int32_t TrailerVersion(const std::vector<uint8_t>& image);

struct BurnResult {
  uint16_t status;
  int32_t version;  // version taken from the image's trailer (0 when unreadable)
};

class PrinterModel {
 public:
  explicit PrinterModel(PrinterSettings settings = {});

  std::string DeviceId() const;
  // The IEEE 1284 device ID payload: 2-byte big-endian length (the two length bytes included),
  // then the text.
  std::vector<uint8_t> DeviceIdPayload() const;
  std::string BuildInfo() const;
  uint32_t Version() const;
  // The 8 version digits of a version reply, e.g. "00000215".
  std::string VersionDigits() const;
  void SetVersion(uint32_t version);
  void SetDeviceId(const std::string& text);
  void SetBuildInfo(const std::string& text);

  // Checks and writes an image; on success the flash holds it and the version is the trailer's.
  BurnResult Burn(uint16_t target, uint16_t checksum, std::vector<uint8_t> image);
  std::vector<uint8_t> Flash() const;
  uint16_t FlashTarget() const;
  int BurnCount() const;

 private:
  mutable std::mutex lock_;
  std::string deviceId_;
  std::string buildInfo_;
  uint32_t version_;
  std::vector<uint8_t> flash_;
  uint16_t flashTarget_ = 0;
  int burns_ = 0;
};

}  // namespace simprinter
