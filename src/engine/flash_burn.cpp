#include "engine/flash_burn.h"

#include <climits>

#include "diag/diag_log.h"
#include "engine/acl_protocol.h"
#include "engine/engine_context.h"
#include "engine/firmware_image.h"
#include "engine/image_checksum.h"
#include "engine/network_channel.h"
#include "platform/unique_handle.h"

namespace {

constexpr DWORD kNetReplyDelayMs = 5000;
constexpr DWORD kAfterNetBurnMs = 10000;

// The whole image file in memory. The length announced to the printer is 32 bits, so an image
// of 4 GiB or more is refused rather than sent cut short.
class ImageInMemory {
 public:
  enum Result { kLoaded, kNoMemory, kReadFailed };

  explicit ImageInMemory(HANDLE file) : file_(file) {
    sizeLow_ = GetFileSize(file, &sizeHigh_);
    sizeKnown_ = sizeLow_ != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
  }

  DWORD sizeLow() const { return sizeLow_; }
  DWORD sizeHigh() const { return sizeHigh_; }

  // Allocates the buffer: false when there is no memory for it. A size that cannot be read or
  // reaches 4 GiB takes no memory; the read then fails.
  bool Allocate() {
    if (!SizeUsable()) return true;
    memory_.reset(LocalAlloc(LMEM_FIXED, sizeLow_));
    return static_cast<bool>(memory_);
  }
  // Reads the whole file into the buffer: false on an error or a short read.
  bool Read() {
    if (!SizeUsable()) return false;
    DWORD done = 0;
    return ReadFile(file_, memory_.get(), sizeLow_, &done, nullptr) && done == sizeLow_;
  }
  Result Load() {
    if (!Allocate()) return kNoMemory;
    return Read() ? kLoaded : kReadFailed;
  }

  bool SizeUsable() const { return sizeKnown_ && sizeHigh_ == 0; }
  const uint8_t* bytes() const { return static_cast<const uint8_t*>(memory_.get()); }
  uint16_t Checksum() const { return ImageChecksum(bytes(), sizeLow_); }

 private:
  HANDLE file_;
  DWORD sizeLow_ = 0;
  DWORD sizeHigh_ = 0;
  bool sizeKnown_ = false;
  platform::UniqueLocalMemory memory_;
};

bool AcceptsBurn(const AclReply& reply) {
  return reply.PrefixOk() && reply.EchoesCommand(ACLCMD_BURN_FLASH) && reply.StatusOk();
}

}  // namespace

uint16_t FlashTargetOf(int32_t fileType) { return fileType == FILE_TYPE_1 ? FLASH_TARGET_TYPE1 : FLASH_TARGET_TYPE2; }

bool NetBurnFlash(HANDLE image, uint16_t target) {
  ImageInMemory buffer(image);
  if (buffer.Load() != ImageInMemory::kLoaded || buffer.sizeLow() > INT_MAX) return false;
  AclCommand command;
  command.Set(ACLCMD_BURN_FLASH, target, buffer.Checksum(), buffer.sizeLow());

  // A connection that failed shows as a failed send; the connection releases itself on return.
  NetConnection connection(NET_BURN_TIMEOUT_MS);
  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return false;
  if (!connection.Send(PJL_ENTERLANG, PJL_ENTERLANG_LENGTH) || !connection.Send(command.bytes, ACL_RECORD_SIZE)) {
    connection.Send(PJL_UEL, PJL_UEL_LENGTH);
    return false;
  }
  if (!connection.Send(buffer.bytes(), static_cast<int>(buffer.sizeLow()))) return false;

  Sleep(kNetReplyDelayMs);
  AclReply reply;
  reply.Clear();
  if (connection.Receive(reply.bytes, ACL_RECORD_SIZE) != static_cast<int>(ACL_RECORD_SIZE)) return false;
  if (AcceptsBurn(reply)) return true;
  connection.Send(PJL_UEL, PJL_UEL_LENGTH);
  return false;
}

int32_t DownLoadNewFW() {
  DiagLog::Write(L"DownLoadNewFW");
  const FWDownloadContext& ctx = EngineContext();
  const wchar_t* path = ctx.binFilePath;
  int32_t fileType = FILE_TYPE_1;
  GetBinFileVersion(path, &fileType);  // for the file type only
  const uint16_t target = FlashTargetOf(fileType);

  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  platform::UniqueFile image(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!image) {
    DWORD error = GetLastError();
    DiagLog::Write(L"Failed to Open fw bin file");
    return error != NO_ERROR ? static_cast<int32_t>(error) : ERROR_FILE_NOT_FOUND;
  }

  if (ctx.isNetwork) {
    int32_t status = NetBurnFlash(image.get(), target) ? DOWNLOAD_STATUS_SUCCESS : BURN_STATUS_FAILED;
    image.reset();
    Sleep(kAfterNetBurnMs);
    return status;
  }
  return BURN_STATUS_FAILED;
}
