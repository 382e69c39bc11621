#include "engine/version_query.h"

#include "diag/diag_log.h"
#include "engine/usb_device.h"
#include "engine/engine_context.h"
#include "engine/firmware_image.h"
#include "engine/local_acl.h"
#include "engine/local_channel.h"
#include "engine/network_channel.h"
#include "platform/unique_handle.h"

namespace {

const wchar_t kPortOpenFailure[] = L"_DownLaodRequired Failed to open PrllPort(gle=%d)";

int32_t UsbVersion() {
  Cusb usb;
  if (!usb.Open(EngineContext().deviceInstanceID)) {
    DiagLog::Write(L"OpenUSBDevice = INVALID_HANDLE_VALUE");
    return -1;
  }
  platform::UniqueFile device(usb.m_hUsb);
  int32_t version = 0;
  for (int attempt = 0; attempt < LOCAL_VERSION_ATTEMPTS; ++attempt) {
    version = GetUSBFWVersion(device.get());
    DiagLog::Write(L"GetUSBFWVersion = %d", version);
    if (version != 0) break;
    Sleep(LOCAL_VERSION_RETRY_MS);
  }
  device.reset();
  if (version == 0) {
    DiagLog::Write(L"Failed to get the Firmware Version");
    return -1;
  }
  return version;
}

int32_t ParallelVersion() {
  HANDLE port = OpenParallelPortAfterSpoolerRestart(kPortOpenFailure);
  if (port == INVALID_HANDLE_VALUE) return -1;

  int32_t version = 0;
  for (int attempt = 0; attempt < LOCAL_VERSION_ATTEMPTS; ++attempt) {
    // GetPrllFWVersion closes the port it is given, so each retry opens a fresh one.
    if (attempt > 0 && (port = OpenParallelPortLogged(kPortOpenFailure)) == INVALID_HANDLE_VALUE) break;
    version = GetPrllFWVersion(port);
    DiagLog::Write(L"GetPrllFWVersion = %d", version);
    if (version != 0) break;
    Sleep(LOCAL_VERSION_RETRY_MS);
  }
  if (version == 0) {
    DiagLog::Write(L"Couldn't manage to get the PrlPrt Firmware Version");
    return -1;
  }
  return version;
}

int32_t g_lastVersion = -1;

int32_t QueryVersion() {
  const FWDownloadContext& context = EngineContext();
  if (context.isUsb) return UsbVersion();
  if (context.isNetwork) {
    long version = NetGetVersion();
    return version == 0 ? -1 : static_cast<int32_t>(version);
  }
  if (context.isParallel) return ParallelVersion();
  return -1;  // no printer loaded
}

}  // namespace

int32_t GetUSBFWVersion(HANDLE device) {
  int32_t version = 0;
  if (SendAclCmd(device, ACLCMD_GET_VERSION)) version = static_cast<int32_t>(aclResponse.version());
  if (!WritePjlUel(device)) {
    DiagLog::Write(L"GetUSBFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead .");
  }
  return version;
}

int32_t GetPrllFWVersion(HANDLE port) {
  platform::UniqueFile request(port);
  DiagLog::Write(L"Inside GetPrllFWVersion()");
  g_aclCmd.Set(ACLCMD_GET_VERSION);
  if (!WriteAllData(request.get(), PJL_UEL, PJL_UEL_LENGTH)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_UEL1 != nBytesRead .");
    return 0;
  }
  if (!WriteAllData(request.get(), PJL_ENTERLANG, PJL_ENTERLANG_LENGTH)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_ENTERLANG != nBytesRead .");
    return 0;
  }
  if (!WriteAllData(request.get(), g_aclCmd.bytes, ACL_RECORD_SIZE)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() Failed-> strlen g_aclCmd != nBytesRead .");
    return 0;
  }
  if (!WriteAllData(request.get(), PJL_UEL, PJL_UEL_LENGTH)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead .");
    return 0;
  }

  request.reset();
  platform::UniqueFile reply(OpenParallelPortForReading());
  if (!reply) {
    DiagLog::Write(L"GetPrllFWVersion() Failed to open PrllPort(gle=%d)", static_cast<int>(GetLastError()));
    return 0;
  }
  int received = ReadAclReply(reply.get(), L"GetPrllFWVersion(): read %d prll bytes");
  if (received == -1) {
    WritePjlUel(reply.get());  // an attempt only: the reply handle is open for reading
    DiagLog::Write(L"GetPrllFWVersion(): read prll error");
    return 0;
  }
  if (received != static_cast<int>(ACL_RECORD_SIZE)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() Failed, numBytesRead=%d", received);
    return 0;
  }
  if (!aclResponse.PrefixOk()) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() ACL_PREFIX Failed.");
    return 0;
  }
  if (!aclResponse.EchoesCommand(ACLCMD_GET_VERSION)) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
    return 0;
  }
  if (!aclResponse.StatusOk()) {
    DiagLog::Write(L"GetPrllFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
    return 0;
  }
  return static_cast<int32_t>(aclResponse.version());
}

int32_t _GetVersionFW() {
  DiagLog::Write(L"_GetVersionFW()");
  g_lastVersion = QueryVersion();
  return g_lastVersion;
}

int32_t LastFirmwareVersion() { return g_lastVersion; }

int32_t _DownLoadRequired() {
  DiagLog::Write(L"_DownLoadRequired()");
  const wchar_t* path = EngineContext().binFilePath;
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  int32_t fileType = 0;
  int32_t binVersion = GetBinFileVersion(path, &fileType);
  DiagLog::Write(L"binfileversion=%d, fileType=%d", binVersion, fileType);
  if (binVersion == 0) return -1;
  int32_t fw = _GetVersionFW();
  DiagLog::Write(L"_GetFWVersion = %d, BinFileVersion = %d", fw, binVersion);
  // Compared as unsigned numbers: a failed query (-1) never asks for a download.
  return static_cast<uint32_t>(fw) < static_cast<uint32_t>(binVersion) ? 1 : 0;
}
