#include "app/listed_printers.h"

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "app/firmware_workflow.h"
#include "app/supported_drivers.h"
#include "diag/diag_log.h"
#include "discovery/installed_printers.h"

namespace {

constexpr DWORD kPauseBeforePrinterMs = 100;

}  // namespace

const wchar_t* ConnectionName(ConnectionKind kind) {
  switch (kind) {
    case CONNECTION_USB:
      return L"USB";
    case CONNECTION_NETWORK:
      return L"Network";
    default:
      return L"Parallel";
  }
}

bool QueryListedPrinter(const wchar_t* name, wchar_t* address, ListedPrinter& printer, ListFailure* failure) {
  ListFailure ignored = ListFailure::None;
  ListFailure& why = failure ? *failure : ignored;
  why = ListFailure::None;
  if (name != printer.name) std::wcsncpy(printer.name, name, std::size(printer.name) - 1);
  printer.address[0] = L'\0';
  printer.version[0] = L'\0';
  printer.kind = ConnectionKindOf(printer.name);
  const wchar_t* match = UsbMatchText(printer.name);
  if (printer.kind == CONNECTION_USB) {
    DiagLog::Write(L"printer is USB");
  } else if (printer.kind == CONNECTION_PARALLEL) {
    DiagLog::Write(L"printer is LPT\n");
  } else {
    DiagLog::Write(L"printer is Network");
  }
  if (!FindDeviceAddress(printer.kind, printer.name, address)) {
    why = printer.kind == CONNECTION_USB ? ListFailure::DeviceNotFound : ListFailure::AddressNotFound;
    return false;
  }
  DiagLog::Write(L"%ls", address);
  std::wcsncpy(printer.address, address, std::size(printer.address) - 1);

  char version[FACADE_VERSION_BUFFER_SIZE] = {};
  GetVersionString(version, printer.kind, match, address);
  if (::MultiByteToWideChar(CP_UTF8, 0, version, -1, printer.version, static_cast<int>(std::size(printer.version))) <= 0) {
    printer.version[0] = L'\0';
  }
  if (std::wcscmp(printer.version, L"Unknown") == 0) {
    printer.version[0] = L'\0';
    why = ListFailure::VersionUnknown;
    return false;
  }

  ::Sleep(kPauseBeforePrinterMs);
  DiagLog::Write(L"++ Adding %ls to printer list", printer.name);
  PrinterInfo info{};
  printer.described = GetPrinterInfo(info, printer.name) == 1;
  return true;
}

int ForEachListedPrinter(const std::function<bool(const ListedPrinter&)>& visit) {
  int listed = 0;
  ForEachSupportedPrinter([&](const ListedPrinter& printer, ListFailure failure) {
    if (failure != ListFailure::None) return true;
    ++listed;
    return visit(printer);
  });
  return listed;
}

int ForEachSupportedPrinter(const std::function<bool(const ListedPrinter&, ListFailure)>& visit) {
  std::vector<std::wstring> driverNames;
  GetSupportedDriverNames(driverNames);

  int visited = 0;
  InstalledPrinterList printers;
  ListedPrinter printer;
  // Emptied once: a parallel printer, which has no address, hands on the one before it.
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  for (int more = GetFirstInstalledPrinter(printers, printer.name, driverNames); more;
       more = GetNextInstalledPrinter(printers, printer.name)) {
    ListFailure failure = ListFailure::None;
    QueryListedPrinter(printer.name, address, printer, &failure);
    ++visited;
    if (!visit(printer, failure)) break;
  }
  return visited;
}
