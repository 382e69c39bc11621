// The print spooler of the simulated machine: installed printers, EnumPrintersW and GetPrinterW
// at level 2 with the spooler's size negotiation, and printer handles with their accounting.
#include "host/spooler.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "handle_table.h"
#include "host/machine.h"
#include "internal.h"
#include "spooler_internal.h"
#include "winhost/kernel.h"
#include "winhost/winspool.h"

namespace host {
namespace {

class PrinterObject : public SpoolerObject {
 public:
  explicit PrinterObject(std::wstring name) : name_(std::move(name)) {}
  std::string Describe() const override { return "printer \"" + Utf8Of(name_) + "\""; }
  const std::wstring& name() const { return name_; }

 private:
  std::wstring name_;
};

class ServerObject : public SpoolerObject {
 public:
  std::string Describe() const override { return "print server"; }
};

struct SpoolerState {
  std::mutex lock;
  std::vector<spooler::Printer> printers;
  HandleTable<std::shared_ptr<SpoolerObject>> handles{"printer handle", 0x5B000, 8};
  std::vector<SpoolerNameResolver> resolvers;
};

SpoolerState& State() {
  static SpoolerState* state = new SpoolerState;
  return *state;
}

std::vector<std::string> ListOpenHandles() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().handles.List([](const std::shared_ptr<SpoolerObject>& object) { return object->Describe(); });
}

void ResetSpooler() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().printers.clear();
  State().handles.Clear(false);
  // The name resolvers are code of other spooler parts, registered once at start-up: they stay.
}

const bool g_registered = [] {
  RegisterArea(Area{"spooler", ResetSpooler, ListOpenHandles});
  return true;
}();

bool Matches(const std::optional<std::wstring>& name, const std::wstring& wanted) {
  return name && NamesEqual(*name, wanted);
}

size_t TextBytes(const std::optional<std::wstring>& text) { return text ? (text->size() + 1) * sizeof(WCHAR) : 0; }

size_t Level2Bytes(const spooler::Printer& printer) {
  return sizeof(PRINTER_INFO_2W) + TextBytes(printer.name) + TextBytes(printer.port) + TextBytes(printer.driver) +
         TextBytes(printer.comment);
}

// Writes the records of `printers` at the start of `buffer` and their texts after them, as the
// spooler does: every pointer in a record points into the caller's buffer.
void PackLevel2(const std::vector<spooler::Printer>& printers, BYTE* buffer) {
  auto* records = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
  BYTE* texts = buffer + printers.size() * sizeof(PRINTER_INFO_2W);
  auto place = [&texts](const std::optional<std::wstring>& text) -> LPWSTR {
    if (!text) return nullptr;
    auto* target = reinterpret_cast<WCHAR*>(texts);
    std::memcpy(target, text->c_str(), (text->size() + 1) * sizeof(WCHAR));
    texts += (text->size() + 1) * sizeof(WCHAR);
    return target;
  };
  for (size_t i = 0; i < printers.size(); ++i) {
    PRINTER_INFO_2W record{};
    record.pPrinterName = place(printers[i].name);
    record.pPortName = place(printers[i].port);
    record.pDriverName = place(printers[i].driver);
    record.pComment = place(printers[i].comment);
    record.Priority = 1;
    record.DefaultPriority = 1;
    record.cJobs = printers[i].jobs;
    std::memcpy(&records[i], &record, sizeof record);
  }
}

// The common part of EnumPrintersW and GetPrinterW: checks the buffer against the size the
// records need, reports that size and fills the buffer when it fits.
BOOL ReturnLevel2(const std::vector<spooler::Printer>& printers, BYTE* buffer, DWORD bufferSize,
                  DWORD* bytesNeeded) {
  if (!buffer && bufferSize > 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  size_t needed = 0;
  for (const spooler::Printer& printer : printers) needed += Level2Bytes(printer);
  *bytesNeeded = static_cast<DWORD>(needed);
  if (bufferSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (needed > 0) PackLevel2(printers, buffer);
  return TRUE;
}

}  // namespace

std::shared_ptr<SpoolerObject> SpoolerObjectOf(HANDLE handle) {
  std::lock_guard<std::mutex> guard(State().lock);
  std::shared_ptr<SpoolerObject>* object = State().handles.Find(handle);
  return object ? *object : nullptr;
}

void RegisterSpoolerNameResolver(SpoolerNameResolver resolver) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().resolvers.push_back(std::move(resolver));
}

namespace spooler {

void AddPrinter(const Printer& printer) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().printers.push_back(printer);
}

void RemovePrinter(const std::wstring& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  auto& printers = State().printers;
  for (auto it = printers.begin(); it != printers.end();) {
    it = Matches(it->name, name) ? printers.erase(it) : it + 1;
  }
}

std::vector<Printer> Printers() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().printers;
}

}  // namespace spooler
}  // namespace host

BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printerEnum, DWORD bufferSize,
                          LPDWORD bytesNeeded, LPDWORD returned) {
  HOST_ENTER("EnumPrintersW", FALSE);
  if (!bytesNeeded || !returned) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  *returned = 0;
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::vector<host::spooler::Printer> listed;
  for (const host::spooler::Printer& printer : host::spooler::Printers()) {
    DWORD kind = printer.connection ? PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
    if (flags & kind) listed.push_back(printer);
  }
  // With no printers the call succeeds and needs 0 bytes, even without a buffer; Windows then
  // clears the last error.
  if (!host::ReturnLevel2(listed, printerEnum, bufferSize, bytesNeeded)) return FALSE;
  *returned = static_cast<DWORD>(listed.size());
  if (listed.empty()) SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  HOST_ENTER("OpenPrinterW", FALSE);
  if (!printer) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  std::shared_ptr<host::SpoolerObject> object;
  if (!printerName || !*printerName) {
    object = std::make_shared<host::ServerObject>();
  } else {
    std::wstring name = printerName;
    std::vector<host::SpoolerNameResolver> resolvers;
    {
      std::lock_guard<std::mutex> guard(host::State().lock);
      resolvers = host::State().resolvers;
    }
    DWORD desiredAccess = defaults ? defaults->DesiredAccess : 0;
    for (const host::SpoolerNameResolver& resolve : resolvers) {
      DWORD error = ERROR_INVALID_PRINTER_NAME;
      if (!resolve(name, desiredAccess, &object, &error)) continue;
      if (!object) {
        SetLastError(error);
        return FALSE;
      }
      break;
    }
    if (!object) {
      for (const host::spooler::Printer& installed : host::spooler::Printers()) {
        if (host::Matches(installed.name, name)) {
          object = std::make_shared<host::PrinterObject>(*installed.name);
          break;
        }
      }
    }
    if (!object) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
  }
  std::lock_guard<std::mutex> guard(host::State().lock);
  *printer = reinterpret_cast<HANDLE>(host::State().handles.Add(object));
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded) {
  HOST_ENTER("GetPrinterW", FALSE);
  auto object = host::SpoolerObjectAs<host::PrinterObject>(printer);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!bytesNeeded) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return FALSE;
  }
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::vector<host::spooler::Printer> one;
  for (const host::spooler::Printer& installed : host::spooler::Printers()) {
    if (host::Matches(installed.name, object->name())) {
      one.push_back(installed);
      break;
    }
  }
  // The printer was deleted while the handle was open.
  if (one.empty()) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  return host::ReturnLevel2(one, buffer, bufferSize, bytesNeeded);
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
  HOST_ENTER("ClosePrinter", FALSE);
  std::shared_ptr<host::SpoolerObject> object;
  {
    std::lock_guard<std::mutex> guard(host::State().lock);
    if (!host::State().handles.Remove(printer, &object)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  return TRUE;
}
