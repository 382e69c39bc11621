#include "engine/local_acl.h"

#include "diag/diag_log.h"
#include "engine/usb_device.h"
#include "engine/engine_context.h"
#include "engine/local_channel.h"
#include "platform/unique_handle.h"

AclCommand g_aclCmd;
AclReply aclResponse;

namespace {

constexpr DWORD kPauseBeforeReplyMs = 1000;
constexpr DWORD kPauseAfterReadMs = 500;
constexpr int kInfoAttempts = 3;
constexpr int kLongestPayload = 1024;
constexpr int kClippedPayload = 1023;

}  // namespace

bool WritePjlUel(HANDLE handle) { return WriteAllData(handle, PJL_UEL, PJL_UEL_LENGTH); }

int ReadAclReply(HANDLE handle, const wchar_t* countFormat) {
  aclResponse.Clear();
  int received = 0;
  for (int read = 0; read < LOCAL_REPLY_READS && received < static_cast<int>(ACL_RECORD_SIZE); ++read) {
    int count = ReadData(handle, aclResponse.bytes + received, static_cast<DWORD>(ACL_RECORD_SIZE - received),
                         LOCAL_REPLY_TIMEOUT_MS);
    DiagLog::Write(countFormat, count);
    if (count == -1) return -1;
    Sleep(kPauseAfterReadMs);
    received += count;
  }
  return received;
}

int SendAclCmd(HANDLE handle, int cmdID) {
  const uint16_t code = static_cast<uint16_t>(cmdID & 0xFF);
  int result = 1;
  if (!WritePjlUel(handle)) result = 0;
  if (!WriteAllData(handle, PJL_ENTERLANG, PJL_ENTERLANG_LENGTH)) result = 0;
  g_aclCmd.Set(code);
  DiagLog::Write(L"Send acl cmd %#x", code);
  if (!WriteAllData(handle, g_aclCmd.bytes, ACL_RECORD_SIZE)) result = 0;

  Sleep(kPauseBeforeReplyMs);
  int received = ReadAclReply(handle, L"read %d bytes");
  if (received == -1) {
    DiagLog::Write(L"read error aborting...");
    WritePjlUel(handle);
    return 0;
  }
  if (received != static_cast<int>(ACL_RECORD_SIZE)) result = 0;

  // Every check runs and logs, even after an earlier one failed.
  if (!aclResponse.PrefixOk()) {
    DiagLog::Write(L"aclResponse.prefix != ACL_PREFIX");
    result = 0;
  }
  if (!aclResponse.EchoesCommand(code)) {
    DiagLog::Write(L"aclResponse.cmdID != %#x", code);
    result = 0;
  }
  if (!aclResponse.StatusOk()) {
    DiagLog::Write(L"aclResponse.cmdStatus != ACLCMD_STATUS_SUCCESS");
    result = 0;
  }
  return result;
}

namespace {

// Reads the payload announced by aclResponse into `out`, zero-terminated after each read.
// False after a read error (PJL_UEL has then been sent).
bool ReadPayload(HANDLE handle, char* out) {
  int length = aclResponse.payloadLength();
  if (length > kLongestPayload) length = kClippedPayload;
  int received = 0;
  for (int read = 0; read < LOCAL_REPLY_READS && received < length; ++read) {
    int asked = length - received;
    int count = ReadData(handle, out + received, static_cast<DWORD>(asked), LOCAL_REPLY_TIMEOUT_MS);
    DiagLog::Write(L"_GetInfo asking for %d bytes, read %d bytes", asked, count);
    if (count == -1) {
      DiagLog::Write(L"_GetInfo read error aborting...");
      WritePjlUel(handle);
      return false;
    }
    Sleep(kPauseAfterReadMs);
    received += count;
    out[received] = '\0';
  }
  return true;
}

// The device of the context's printer: the parallel port, opened as the version query opens it
// (after a spooler restart), or the USB device. INVALID_HANDLE_VALUE after a logged failure.
HANDLE OpenInfoDevice() {
  if (EngineContext().isParallel) {
    return OpenParallelPortAfterSpoolerRestart(L"_GetInfo Failed to open PrllPort(gle=%d)");
  }
  Cusb usb;
  if (!usb.Open(EngineContext().deviceInstanceID)) {
    DiagLog::Write(L"_GetInfo OpenUSBDevice = INVALID_HANDLE_VALUE");
    return INVALID_HANDLE_VALUE;
  }
  return usb.m_hUsb;
}

}  // namespace

int _GetInfo(int cmdID, char* out) {
  DiagLog::Write(L"_GetInfo()");
  platform::UniqueFile device(OpenInfoDevice());
  if (!device) return 0;

  int ok = 0;
  for (int attempt = 0; attempt < kInfoAttempts; ++attempt) {
    ok = SendAclCmd(device.get(), cmdID);
    // The payload is read even after a failed exchange.
    if (!ReadPayload(device.get(), out)) {
      ok = 0;
      continue;
    }
    if (!ok) continue;
    if (WritePjlUel(device.get())) break;
    DiagLog::Write(L"_GetInfo  nBytesWritten != PJL_UEL length");
    ok = 0;
  }
  DiagLog::Write(L"_GetInfo  dwRetVal = %d", ok);
  return ok;
}
