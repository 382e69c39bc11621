// The ports of the simulated spooler and their port monitors: EnumPortsW at level 2 with the
// spooler's size negotiation, and each port's data channel, opened by OpenPrinterW on
// ",XcvPort <port>" and asked through XcvDataW. The channel's handles are spooler handles, so
// the spooler's own accounting lists those left open.
#include "host/ports.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "host/machine.h"
#include "internal.h"
#include "spooler_internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

// What a port's monitor does with "IPAddress".
struct Monitor {
  std::optional<std::wstring> ipAddress;  // answered with status 0
  DWORD ipAddressStatus = ERROR_INVALID_PARAMETER;
  DWORD openError = ERROR_SUCCESS;  // non-zero: the channel does not open
};

struct PortsState {
  std::mutex lock;
  std::vector<ports::Port> ports;
  std::map<std::wstring, Monitor> monitors;  // by upper-case port name
  std::vector<DWORD> openAccesses;
};

PortsState& State() {
  static PortsState* state = new PortsState;
  return *state;
}

// The data channel of one port, behind a spooler handle.
class XcvObject : public SpoolerObject {
 public:
  explicit XcvObject(std::wstring port) : port_(std::move(port)) {}
  std::string Describe() const override { return "port monitor channel \"" + Utf8Of(port_) + "\""; }
  const std::wstring& port() const { return port_; }

 private:
  std::wstring port_;
};

const ports::Port* FindPortLocked(const std::wstring& name) {
  for (const ports::Port& port : State().ports) {
    if (NamesEqual(port.name, name)) return &port;
  }
  return nullptr;
}

Monitor& MonitorLocked(const std::wstring& port) { return State().monitors[UpperName(port)]; }

// ",XcvPort <port>" (blanks after the comma are skipped, as the spooler does) gives the port name.
bool ParseXcvPortName(const std::wstring& name, std::wstring* port) {
  static const std::wstring kXcvPort = L"XcvPort ";
  if (name.empty() || name[0] != L',') return false;
  size_t at = name.find_first_not_of(L' ', 1);
  if (at == std::wstring::npos || name.compare(at, kXcvPort.size(), kXcvPort) != 0) return false;
  *port = name.substr(at + kXcvPort.size());
  return true;
}

bool ResolveXcvPort(const std::wstring& name, DWORD desiredAccess, std::shared_ptr<SpoolerObject>* object,
                    DWORD* error) {
  std::wstring portName;
  if (!ParseXcvPortName(name, &portName)) return false;
  std::lock_guard<std::mutex> guard(State().lock);
  State().openAccesses.push_back(desiredAccess);
  const ports::Port* port = FindPortLocked(portName);
  // A port that no monitor holds: ERROR_UNKNOWN_PORT (Wine's localspl, printer_alloc_handle).
  if (!port) {
    *error = ERROR_UNKNOWN_PORT;
    return true;
  }
  const Monitor& monitor = MonitorLocked(port->name);
  if (monitor.openError != ERROR_SUCCESS) {
    *error = monitor.openError;
    return true;
  }
  *object = std::make_shared<XcvObject>(port->name);
  return true;
}

// The monitor's side of XcvDataW: its status, with the output written only on success.
DWORD AnswerLocked(const std::wstring& portName, const std::wstring& dataName, PBYTE output, DWORD outputSize,
                   PDWORD outputNeeded) {
  if (!FindPortLocked(portName)) return ERROR_UNKNOWN_PORT;
  const Monitor& monitor = MonitorLocked(portName);
  if (dataName != L"IPAddress" || !monitor.ipAddress) {
    return dataName == L"IPAddress" ? monitor.ipAddressStatus : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
  }
  size_t needed = (monitor.ipAddress->size() + 1) * sizeof(WCHAR);
  *outputNeeded = static_cast<DWORD>(needed);
  if (outputSize < needed) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(output, monitor.ipAddress->c_str(), needed);
  return ERROR_SUCCESS;
}

size_t TextBytes(const std::optional<std::wstring>& text) { return text ? (text->size() + 1) * sizeof(WCHAR) : 0; }

// Records first, their texts after them; every pointer points into the caller's buffer.
void PackLevel2(const std::vector<ports::Port>& list, BYTE* buffer) {
  BYTE* texts = buffer + list.size() * sizeof(PORT_INFO_2W);
  auto place = [&texts](const std::optional<std::wstring>& text) -> LPWSTR {
    if (!text) return nullptr;
    auto* target = reinterpret_cast<WCHAR*>(texts);
    std::memcpy(target, text->c_str(), TextBytes(text));
    texts += TextBytes(text);
    return target;
  };
  for (size_t i = 0; i < list.size(); ++i) {
    PORT_INFO_2W record{};
    record.pPortName = place(list[i].name);
    record.pMonitorName = place(list[i].monitor);
    record.pDescription = place(list[i].description);
    record.fPortType = list[i].type;
    std::memcpy(buffer + i * sizeof(PORT_INFO_2W), &record, sizeof record);
  }
}

void ResetPorts() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().ports.clear();
  State().monitors.clear();
  State().openAccesses.clear();
}

const bool g_registered = [] {
  RegisterArea(Area{"ports", ResetPorts, nullptr});
  RegisterSpoolerNameResolver(ResolveXcvPort);
  return true;
}();

}  // namespace

namespace ports {

void AddPort(const Port& port) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().ports.push_back(port);
}

void RemovePort(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  auto& list = State().ports;
  for (auto it = list.begin(); it != list.end();) {
    it = NamesEqual(it->name, name) ? list.erase(it) : it + 1;
  }
}

void AnswerIPAddress(const std::wstring& port, const std::wstring& text) {
  std::lock_guard<std::mutex> guard(State().lock);
  MonitorLocked(port).ipAddress = text;
}

void FailIPAddress(const std::wstring& port, DWORD status) {
  std::lock_guard<std::mutex> guard(State().lock);
  Monitor& monitor = MonitorLocked(port);
  monitor.ipAddress.reset();
  monitor.ipAddressStatus = status;
}

void RefuseXcvOpen(const std::wstring& port, DWORD error) {
  std::lock_guard<std::mutex> guard(State().lock);
  MonitorLocked(port).openError = error;
}

std::vector<DWORD> XcvOpenAccesses() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().openAccesses;
}

}  // namespace ports
}  // namespace host

BOOL WINAPI EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD bytesNeeded,
                       LPDWORD returned) {
  HOST_ENTER("EnumPortsW", FALSE);
  // The level and the pointers are checked before the counts are written (Wine's winspool, seen
  // in the conformance run: an unknown level leaves them alone).
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!bytesNeeded || !returned || (!ports && bufferSize > 0)) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  *bytesNeeded = 0;
  *returned = 0;
  // Only the local computer is modelled; another server name fails as in Wine's localspl.
  if (name && *name) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::vector<host::ports::Port> list;
  {
    std::lock_guard<std::mutex> guard(host::State().lock);
    list = host::State().ports;
  }
  size_t needed = 0;
  for (const host::ports::Port& port : list) {
    needed += sizeof(PORT_INFO_2W) + host::TextBytes(port.name) + host::TextBytes(port.monitor) +
              host::TextBytes(port.description);
  }
  *bytesNeeded = static_cast<DWORD>(needed);
  if (bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (needed > 0) host::PackLevel2(list, ports);
  *returned = static_cast<DWORD>(list.size());
  return TRUE;
}

BOOL WINAPI XcvDataW(HANDLE xcv, PCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
                     DWORD outputSize, PDWORD outputNeeded, PDWORD status) {
  HOST_ENTER("XcvDataW", FALSE);
  (void)inputData;
  (void)inputSize;
  // The checks and their order are those of Wine's localspl (fpXcvData).
  auto object = host::SpoolerObjectAs<host::XcvObject>(xcv);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!outputNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!dataName || !status || (!outputData && outputSize > 0)) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  *outputNeeded = 0;
  std::lock_guard<std::mutex> guard(host::State().lock);
  *status = host::AnswerLocked(object->port(), dataName, outputData, outputSize, outputNeeded);
  return TRUE;
}
