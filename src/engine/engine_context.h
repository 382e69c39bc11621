// The engine talks to one printer at a time. Callers load its single process-wide context from
// a printer record with InitGlobals; every other engine operation reads the printer's connection
// kind, USB device instance, IP address and firmware image path from the context.
#pragma once

#include <cstdint>

#include "platform/win32.h"

enum ConnectionKind : int32_t {
  CONNECTION_USB = 0,       // USB printer device, opened through its device instance ID
  CONNECTION_NETWORK = 1,   // TCP to the printer's IP address
  CONNECTION_PARALLEL = 2,  // the non-spooled parallel port
};

// What describes one printer to the engine.
struct PrinterRecord {
  ConnectionKind type;
  const wchar_t* deviceID;     // USB hardware match text of the model (logged only), or null
  const wchar_t* binFilePath;  // full path of the firmware image, or null when only querying
  const wchar_t* InstanceID;   // USB: device instance ID; network: dotted IP address; parallel: empty
};

struct FWDownloadContext {
  static constexpr size_t kTextChars = MAX_PATH;

  int32_t isUsb;
  int32_t isNetwork;
  int32_t isParallel;
  wchar_t deviceID[kTextChars];
  wchar_t PrinterName[kTextChars];
  char printerNameAnsi[kTextChars];  // installed printer named by the printer-UI command (SetPrinterNameAnsi)
  wchar_t deviceInstanceID[kTextChars];
  char ipAddress[kTextChars];
  wchar_t binFilePath[kTextChars];
};

// The engine's single context, zero-filled at start.
FWDownloadContext& EngineContext();

// Loads the context. Returns 1 when loaded; 0 when `type` is not a connection kind or a text
// does not fit the context, in which case the context stays as it was.
int InitGlobals(ConnectionKind type, const wchar_t* deviceID, const wchar_t* binFilePath, const wchar_t* InstanceID);
int InitGlobals(const PrinterRecord& record);

// Names the installed printer that a parallel download's printer-UI command makes the default
// printer again after the spooler restarts: `printerName` in the ANSI code page. Loading a
// printer with InitGlobals empties it, so a caller sets it after the last InitGlobals before
// the download. Returns 1; 0 (and an empty name) when the name is null, does not fit, or has
// characters the ANSI code page cannot hold, since the command must not name another printer.
int SetPrinterNameAnsi(const wchar_t* printerName);
