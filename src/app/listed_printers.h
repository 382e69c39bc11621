// The printers the program lists: the installed printers of the supported driver whose device
// can be found and which answer their firmware version, with how they are connected.
#pragma once

#include <functional>

#include "app/printer_address.h"
#include "engine/engine_context.h"
#include "engine/engine_facade.h"

struct ListedPrinter {
  static constexpr size_t kNameChars = 256;

  wchar_t name[kNameChars] = {};
  ConnectionKind kind = CONNECTION_NETWORK;
  wchar_t address[DEVICE_ADDRESS_CHARS] = {};
  // The version number in decimal; empty when the engine context cannot be loaded.
  wchar_t version[FACADE_VERSION_BUFFER_SIZE] = {};
  // Whether the spooler describes the printer (the dialog gives only such a printer a row).
  bool described = false;
};

// "USB", "Network" or "Parallel".
const wchar_t* ConnectionName(ConnectionKind kind);

// Why an installed printer of the supported driver is not listed.
enum class ListFailure {
  None,             // it is listed
  DeviceNotFound,   // USB: no device behind its port
  AddressNotFound,  // network: its port's address cannot be found
  VersionUnknown,   // its version query failed
};

// Queries one installed printer as the list does: its kind, its device's address (into
// `address`, DEVICE_ADDRESS_CHARS, which a parallel printer leaves as it is) and its version.
// Fills `printer` and returns true when the printer is listed; otherwise `failure` (when given)
// says why, and `printer` holds its kind and the address as far as it was found.
bool QueryListedPrinter(const wchar_t* name, wchar_t* address, ListedPrinter& printer, ListFailure* failure = nullptr);

// Queries each installed printer of the supported driver in the spooler's order and hands each
// listed one to `visit`, which returns false to stop the walk. Returns the number handed out.
int ForEachListedPrinter(const std::function<bool(const ListedPrinter&)>& visit);
// The same walk, handing out every printer with why it is not listed (ListFailure::None when it
// is). Returns the number handed out.
int ForEachSupportedPrinter(const std::function<bool(const ListedPrinter&, ListFailure)>& visit);
