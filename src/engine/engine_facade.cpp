#include "engine/engine_facade.h"

#include <cstdio>

#include "diag/diag_log.h"
#include "engine/acl_protocol.h"
#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/local_acl.h"
#include "engine/network_channel.h"
#include "engine/version_query.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kAfterDownloadMs = 5000;

// One information query of the facade: its trace names, its ACL command and its network query.
struct InfoQuery {
  const wchar_t* name;
  const wchar_t* innerName;
  uint16_t command;
  int (*network)(char* out);
};

const InfoQuery kDeviceIdQuery = {L"Get1284String", L"_Get1284String()", ACLCMD_GET_DEVICE_ID, NetGet1284String};
const InfoQuery kBuildInfoQuery = {L"BuildInfo", L"_BuildInfo()", ACLCMD_GET_BUILD_INFO, NetBuildInfo};

bool Load(int32_t type, const wchar_t* deviceID, const wchar_t* binFilePath, const wchar_t* InstanceID) {
  return InitGlobals(static_cast<ConnectionKind>(type), deviceID, binFilePath, InstanceID) != 0;
}

int32_t RunInfoQuery(const InfoQuery& query, char* out, int32_t type, const wchar_t* deviceID,
                     const wchar_t* InstanceID) {
  DiagLog::Write(query.name);
  out[0] = '\0';
  if (!Load(type, deviceID, nullptr, InstanceID)) return -1;
  DiagLog::Write(query.innerName);
  out[0] = '\0';
  // USB and parallel printers are asked on their local device.
  int ok = EngineContext().isNetwork ? query.network(out) : _GetInfo(query.command, out);
  return ok ? 1 : 0;
}

}  // namespace

int32_t Get1284String(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID) {
  return RunInfoQuery(kDeviceIdQuery, out, type, deviceID, InstanceID);
}

int32_t BuildInfo(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID) {
  return RunInfoQuery(kBuildInfoQuery, out, type, deviceID, InstanceID);
}

int32_t GetVersionString(char* out, int32_t type, const wchar_t* deviceID, const wchar_t* InstanceID) {
  DiagLog::Write(L"GetVersionString");
  if (!Load(type, deviceID, nullptr, InstanceID)) return 0;
  int32_t version = _GetVersionFW();
  if (version == -1) {
    std::snprintf(out, FACADE_VERSION_BUFFER_SIZE, "Unknown");
  } else {
    std::snprintf(out, FACADE_VERSION_BUFFER_SIZE, "%d", static_cast<int>(version));
  }
  return 1;
}

int32_t DownloadRequired(int32_t type, const wchar_t* deviceID, const wchar_t* binFilePath, const wchar_t* InstanceID) {
  DiagLog::Write(L"DownloadRequired");
  if (!Load(type, deviceID, binFilePath, InstanceID)) return 1;
  return _DownLoadRequired();
}

int32_t _DownloadFirmware() {
  DiagLog::Write(L"_DownloadFirmware()");
  int32_t status = DownLoadNewFW();
  Sleep(kAfterDownloadMs);
  if (status == DOWNLOAD_STATUS_SUCCESS || status == DOWNLOAD_STATUS_ACCEPTED) return 1;
  DiagLog::Write(L"**** FirmwareError dwStatus=%d", static_cast<int>(status));
  return 0;
}
