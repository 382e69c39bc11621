#include "printer/printer_model.h"

#include <algorithm>
#include <cstdio>

namespace simprinter {

uint16_t ImageChecksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;  // wraps like the 32-bit sum of the download utility
  size_t i = 0;
  for (; i + 1 < size; i += 2) sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
  if (i < size) sum += data[i];
  auto high = [](uint32_t value) { return static_cast<uint32_t>(static_cast<int32_t>(value) >> 16); };
  while (high(sum) != 0) sum = (sum & 0xFFFF) + high(sum);
  return static_cast<uint16_t>(~sum);
}

int32_t TrailerVersion(const std::vector<uint8_t>& image) {
  if (image.empty()) return 0;
  int length = static_cast<int8_t>(image.back());
  if (length <= 0 || static_cast<size_t>(length) > image.size()) return 0;
  std::string trailer(image.end() - length, image.end());
  trailer.resize(std::min<size_t>(trailer.size(), 40));
  size_t digits = 1;
  if (trailer[0] != '\0') {
    digits = trailer.find('\0');
    if (digits == std::string::npos) return 0;
    ++digits;
  }
  if (digits >= trailer.size()) return 0;
  const char* p = trailer.c_str() + digits;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  int64_t value = 0;
  while (*p >= '0' && *p <= '9' && value <= kHighestVersion) value = value * 10 + (*p++ - '0');
  if (value > kHighestVersion) return 0;
  return static_cast<int32_t>(negative ? -value : value);
}

PrinterModel::PrinterModel(PrinterSettings settings) : version_(std::min(settings.version, kHighestVersion)) {
  deviceId_ = settings.deviceId.empty()
                  ? "MFG:TV;CMD:PJL,ACL;MDL:" + settings.model + ";CLS:PRINTER;DES:" + settings.model + ";"
                  : settings.deviceId;
  buildInfo_ = settings.buildInfo.empty()
                   ? "FW:" + settings.firmwareFields[0] + ", " + settings.firmwareFields[1] + ", " +
                         settings.firmwareFields[2] + "; PANEL: " + settings.culture + ";"
                   : settings.buildInfo;
}

std::string PrinterModel::DeviceId() const {
  std::lock_guard<std::mutex> guard(lock_);
  return deviceId_;
}

std::vector<uint8_t> PrinterModel::DeviceIdPayload() const {
  std::string text = DeviceId();
  size_t length = std::min<size_t>(text.size() + 2, 0xFFFF);
  std::vector<uint8_t> payload = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  payload.insert(payload.end(), text.begin(), text.begin() + static_cast<long>(length - 2));
  return payload;
}

std::string PrinterModel::BuildInfo() const {
  std::lock_guard<std::mutex> guard(lock_);
  return buildInfo_;
}

uint32_t PrinterModel::Version() const {
  std::lock_guard<std::mutex> guard(lock_);
  return version_;
}

std::string PrinterModel::VersionDigits() const {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08u", Version());
  return digits;
}

void PrinterModel::SetVersion(uint32_t version) {
  std::lock_guard<std::mutex> guard(lock_);
  version_ = std::min(version, kHighestVersion);
}

void PrinterModel::SetDeviceId(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  deviceId_ = text;
}

void PrinterModel::SetBuildInfo(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  buildInfo_ = text;
}

BurnResult PrinterModel::Burn(uint16_t target, uint16_t checksum, std::vector<uint8_t> image) {
  int32_t version = TrailerVersion(image);
  if (target != 3 && target != 4) return {kStatusBadTarget, version};
  if (image.empty() || image.size() > kFlashSize) return {kStatusBadImage, version};
  if (ImageChecksum(image.data(), image.size()) != checksum) return {kStatusBadChecksum, version};
  if (version <= 0) return {kStatusBadImage, version};
  std::lock_guard<std::mutex> guard(lock_);
  flash_ = std::move(image);
  flashTarget_ = target;
  version_ = static_cast<uint32_t>(version);
  ++burns_;
  return {kStatusSuccess, version};
}

std::vector<uint8_t> PrinterModel::Flash() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flash_;
}

uint16_t PrinterModel::FlashTarget() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flashTarget_;
}

int PrinterModel::BurnCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return burns_;
}

}  // namespace simprinter
