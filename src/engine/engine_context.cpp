#include "engine/engine_context.h"

#include <cstring>
#include <cwchar>

#include "diag/diag_log.h"
#include "platform/wide_text.h"

namespace {

FWDownloadContext g_context = {};

void CopyText(wchar_t* target, const wchar_t* source) {
  size_t length = source ? std::wcslen(source) : 0;
  if (length) std::wmemcpy(target, source, length);
  target[length] = L'\0';
}

bool Fits(const wchar_t* text) { return !text || std::wcslen(text) < FWDownloadContext::kTextChars; }

}  // namespace

FWDownloadContext& EngineContext() { return g_context; }

int InitGlobals(ConnectionKind type, const wchar_t* deviceID, const wchar_t* binFilePath, const wchar_t* InstanceID) {
  DiagLog::Write(L"FWDownload.InitGlobals()");
  DiagLog::Write(L"type=%d", static_cast<int>(type));
  if (type != CONNECTION_USB && type != CONNECTION_NETWORK && type != CONNECTION_PARALLEL) return 0;

  // A text that does not fit is refused as a whole: cutting it could name another device or file.
  if (!Fits(deviceID) || !Fits(binFilePath) || !Fits(InstanceID)) {
    DiagLog::Write(L"InitGlobals(): text longer than %d characters refused", static_cast<int>(FWDownloadContext::kTextChars - 1));
    return 0;
  }
  // The network address is used in the ANSI code page; a look-alike substitute there could
  // reach another printer, so only an exact conversion is taken.
  char address[sizeof g_context.ipAddress] = {};
  if (type == CONNECTION_NETWORK && InstanceID && !WideToAnsiExact(InstanceID, address, sizeof address)) {
    DiagLog::Write(L"InitGlobals(): address not exact in the ANSI code page refused: %ls", InstanceID);
    return 0;
  }

  FWDownloadContext& ctx = g_context;
  ctx.isUsb = type == CONNECTION_USB ? 1 : 0;
  ctx.isNetwork = type == CONNECTION_NETWORK ? 1 : 0;
  ctx.isParallel = type == CONNECTION_PARALLEL ? 1 : 0;

  if (!deviceID) {
    DiagLog::Write(L"deviceID= NULL");
    ctx.deviceID[0] = L'\0';
  } else {
    DiagLog::Write(L"deviceID=%ls", deviceID);
    CopyText(type == CONNECTION_PARALLEL ? ctx.PrinterName : ctx.deviceID, deviceID);
  }
  DiagLog::Write(L"SetupGlobals.deviceID=%ls", ctx.deviceID);
  DiagLog::Write(L"SetupGlobals.PrinterName=%ls", ctx.PrinterName);

  if (!InstanceID) {
    DiagLog::Write(L"InstanceID=NULL");
    ctx.deviceInstanceID[0] = L'\0';
  } else {
    DiagLog::Write(L"InstanceID=%ls", InstanceID);
    if (type == CONNECTION_NETWORK) {
      std::memcpy(ctx.ipAddress, address, sizeof ctx.ipAddress);
    } else {
      CopyText(ctx.deviceInstanceID, InstanceID);
    }
  }
  DiagLog::Write(L"SetupGlobals.deviceInstanceID=%ls", ctx.deviceInstanceID);

  CopyText(ctx.binFilePath, binFilePath);
  ctx.printerNameAnsi[0] = '\0';  // a name set for the previous printer never names this one
  return 1;
}

int InitGlobals(const PrinterRecord& record) {
  return InitGlobals(record.type, record.deviceID, record.binFilePath, record.InstanceID);
}

int SetPrinterNameAnsi(const wchar_t* printerName) {
  char* name = g_context.printerNameAnsi;
  name[0] = '\0';
  if (!printerName || !*printerName) return 0;
  if (!WideToAnsiExact(printerName, name, sizeof g_context.printerNameAnsi)) {
    DiagLog::Write(L"SetPrinterNameAnsi(): name not exact in the ANSI code page refused: %ls", printerName);
    return 0;
  }
  return 1;
}
