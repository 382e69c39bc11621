#include "engine/flash_burn.h"

#include <algorithm>
#include <climits>
#include <string>

#include "diag/diag_log.h"
#include "engine/usb_device.h"
#include "engine/acl_protocol.h"
#include "engine/engine_context.h"
#include "engine/firmware_image.h"
#include "engine/image_checksum.h"
#include "engine/local_acl.h"
#include "engine/local_channel.h"
#include "engine/network_channel.h"
#include "platform/unique_handle.h"
#include "platform/wide_text.h"

namespace {

constexpr DWORD kUsbReplyDelayMs = 10000;
constexpr DWORD kUsbReplyTimeoutMs = 120000;
constexpr DWORD kNetReplyDelayMs = 5000;
// The network burn offers the image in pieces of at most this size; its time-out measures a
// printer that takes nothing, not the time the whole image takes.
constexpr DWORD kNetPieceBytes = 64 * 1024;
constexpr DWORD kAfterNetBurnMs = 10000;
// The parallel download's pauses around the spooler restarts, the printer-UI command and the burn.
constexpr DWORD kBeforeSpoolerStopMs = 2000;
constexpr DWORD kAfterSpoolerStartMs = 2000;
constexpr DWORD kBeforePortOpenMs = 3000;
constexpr DWORD kAfterParallelBurnMs = 60000;
constexpr DWORD kAfterPortCloseMs = 4000;
constexpr DWORD kAfterFinalRestartMs = 5000;

const char kPrinterUiProgram[] = "\\rundll32.exe";
const char kPrinterUiArguments[] = "printui.dll,PrintUIEntry /y /n ";

// The whole image file in memory. The length announced to the printer is 32 bits, so an image
// of 4 GiB or more is refused rather than sent cut short.
class ImageInMemory {
 public:
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
  bool Load() { return Allocate() && Read(); }

  const uint8_t* bytes() const { return static_cast<const uint8_t*>(memory_.get()); }
  uint16_t Checksum() const { return ImageChecksum(bytes(), sizeLow_); }

 private:
  bool SizeUsable() const { return sizeKnown_ && sizeHigh_ == 0; }

  HANDLE file_;
  DWORD sizeLow_ = 0;
  DWORD sizeHigh_ = 0;
  bool sizeKnown_ = false;
  platform::UniqueLocalMemory memory_;
};

ImageReadHook g_imageReadHook = nullptr;
void* g_imageReadContext = nullptr;

void ImageWasRead(const ImageInMemory& image) {
  if (g_imageReadHook) g_imageReadHook(image.bytes(), image.sizeLow(), g_imageReadContext);
}

bool AcceptsBurn(const AclReply& reply) {
  return reply.PrefixOk() && reply.EchoesCommand(ACLCMD_BURN_FLASH) && reply.StatusOk();
}

// Writes the image on a local device, at most 512 bytes per write, each write continuing where
// the last one ended. False at a write that failed or wrote nothing.
bool TransferImage(HANDLE device, const ImageInMemory& image) {
  DWORD offset = 0;
  while (offset < image.sizeLow()) {
    int written = WriteData(device, image.bytes() + offset, image.sizeLow() - offset);
    if (written <= 0) return false;
    offset += static_cast<DWORD>(written);
  }
  return true;
}

// The failure texts of one local burn's envelope and command writes.
struct EnvelopeTexts {
  const wchar_t* uel;
  const wchar_t* enterLanguage;
  const wchar_t* command;
};

// PJL_UEL, PJL_ENTERLANG and the command record in g_aclCmd. After a failed second or third
// write PJL_UEL is sent to leave the printer's language again; every failure is logged.
bool WriteEnvelope(HANDLE device, const EnvelopeTexts& texts) {
  if (!WritePjlUel(device)) {
    DiagLog::Write(texts.uel);
    return false;
  }
  if (!WriteAllData(device, PJL_ENTERLANG, PJL_ENTERLANG_LENGTH)) {
    WritePjlUel(device);
    DiagLog::Write(texts.enterLanguage);
    return false;
  }
  if (!WriteAllData(device, g_aclCmd.bytes, ACL_RECORD_SIZE)) {
    WritePjlUel(device);
    DiagLog::Write(texts.command);
    return false;
  }
  return true;
}

const EnvelopeTexts kUsbTexts = {L"Write  PJL_UEL failed", L"Write  PJL_ENTERLANG failed", L"Write  acl cmd failed"};
const EnvelopeTexts kParallelTexts = {L"BurnFlashPrllPort(): WriteData PJL_UEL1 Failed",
                                      L"BurnFlashPrllPort(): WriteData PJL_ENTERLANG Failed",
                                      L"BurnFlashPrllPort(): WriteData g_aclCmd Failed"};

// Checks the USB burn's reply in aclResponse, stopping at the first failure.
bool CheckUsbReply(HANDLE device) {
  const wchar_t* failure = nullptr;
  if (!aclResponse.PrefixOk()) {
    failure = L"Read  acl response prefix != ACL_PREFIX";
  } else if (!aclResponse.EchoesCommand(ACLCMD_BURN_FLASH)) {
    failure = L"Read  acl response cmdID != ACLCMD_BURN_FLASH";
  } else if (!aclResponse.StatusOk()) {
    failure = L"Read  acl response status != ACLCMD_STATUS_SUCCESS";
  }
  if (!failure) return true;
  WritePjlUel(device);
  DiagLog::Write(failure);
  return false;
}

int32_t UsbDownload(HANDLE image, uint16_t target) {
  Cusb usb;
  if (!usb.Open(EngineContext().deviceInstanceID)) {
    DiagLog::Write(L"Failed OpenUSBDevice()");
    return DOWNLOAD_STATUS_NO_DEVICE;
  }
  platform::UniqueFile device(usb.m_hUsb);
  return BurnFlashUSBPort(device.get(), image, target);
}

int32_t NetworkDownload(platform::UniqueFile image, uint16_t target) {
  int32_t status = NetBurnFlash(image.get(), target) ? DOWNLOAD_STATUS_SUCCESS : BURN_STATUS_FAILED;
  image.reset();
  Sleep(kAfterNetBurnMs);
  return status;
}

// "<system directory in the ANSI code page>\rundll32.exe", or empty when the directory cannot
// be read or does not convert exactly: a changed or missing directory would name another program
// ("\rundll32.exe" alone is one in the root of the current drive).
std::string PrinterUiProgramPath() {
  wchar_t directory[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  char ansi[2 * MAX_PATH] = {};
  if (length == 0 || length >= MAX_PATH || !WideToAnsiExact(directory, ansi, sizeof ansi)) {
    DiagLog::Write(L"_DownLoadNewFw(): system directory not usable in the ANSI code page: %ls", directory);
    return std::string();
  }
  return std::string(ansi) + kPrinterUiProgram;
}

// The printer name as the command quotes it: its first run of characters that are not double
// quotes, the whole text when there is none.
std::string QuotableName(const std::string& name) {
  size_t start = name.find_first_not_of('"');
  if (start == std::string::npos) return name;
  return name.substr(start, name.find('"', start) - start);
}

// Starts the printer-UI command that makes the context's printer the default printer again,
// without waiting for it; its outcome is not examined. Without a printer name it would name no
// printer, so it is not started.
void StartPrinterUiCommand(const std::string& program) {
  const char* printerName = EngineContext().printerNameAnsi;
  if (!*printerName) {
    DiagLog::Write(L"_DownLoadNewFw(): no printer name, printer UI command not started");
    return;
  }
  if (program.empty()) {
    DiagLog::Write(L"_DownLoadNewFw(): no program path, printer UI command not started");
    return;
  }
  std::string commandLine = std::string("rundll32.exe ") + kPrinterUiArguments + "\"" + QuotableName(printerName) + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

// Opens the parallel port for reading and writing, trying twice. Logs a second failure and
// gives its system error code in `error`.
HANDLE OpenPortForBurn(DWORD* error) {
  HANDLE port = OpenParallelPortReadWrite();
  if (port == INVALID_HANDLE_VALUE) port = OpenParallelPortReadWrite();
  if (port == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    DiagLog::Write(L"_DownLoadNewFw() Failed to open PrllPort(gle=%d)", static_cast<int>(*error));
  }
  return port;
}

// A parallel download: the spooler is restarted around the port, which it would otherwise hold.
// A failed burn is reported as such, after the spooler has been restarted all the same.
int32_t ParallelDownload(platform::UniqueFile image) {
  const std::string program = PrinterUiProgramPath();
  if (!RestartSpoolerForPort(kBeforeSpoolerStopMs)) return DOWNLOAD_STATUS_SPOOLER;
  Sleep(kAfterSpoolerStartMs);
  StartPrinterUiCommand(program);

  Sleep(kBeforePortOpenMs);
  DWORD error = NO_ERROR;
  platform::UniqueFile port(OpenPortForBurn(&error));
  if (!port) return error != NO_ERROR ? static_cast<int32_t>(error) : DOWNLOAD_STATUS_NO_DEVICE;
  int32_t status = BurnFlashPrllPort(port.get(), image.get());
  image.reset();
  Sleep(kAfterParallelBurnMs);
  port.reset();
  Sleep(kAfterPortCloseMs);
  if (!RestartSpoolerForPort(0)) return status;
  Sleep(kAfterFinalRestartMs);
  return status;
}

}  // namespace

void SetImageReadHook(ImageReadHook hook, void* context) {
  g_imageReadHook = hook;
  g_imageReadContext = context;
}

uint16_t FlashTargetOf(int32_t fileType) { return fileType == FILE_TYPE_1 ? FLASH_TARGET_TYPE1 : FLASH_TARGET_TYPE2; }

int BurnFlashUSBPort(HANDLE device, HANDLE image, uint16_t target) {
  DiagLog::Write(L"BurnFlashUSBPort");
  ImageInMemory buffer(image);
  DiagLog::Write(L"BurnFlashUSBPort bin file size = 0x%x, highwd=0x%x", static_cast<unsigned>(buffer.sizeLow()),
                 static_cast<unsigned>(buffer.sizeHigh()));
  if (!buffer.Allocate()) return BURN_STATUS_NO_MEMORY;
  if (!buffer.Read()) {
    DiagLog::Write(L"Read bin file failed");
    return BURN_STATUS_FAILED;
  }
  ImageWasRead(buffer);
  g_aclCmd.Set(ACLCMD_BURN_FLASH, target, buffer.Checksum(), buffer.sizeLow());
  if (!WriteEnvelope(device, kUsbTexts) || !TransferImage(device, buffer)) return BURN_STATUS_FAILED;

  Sleep(kUsbReplyDelayMs);
  aclResponse.Clear();
  if (ReadData(device, aclResponse.bytes, ACL_RECORD_SIZE, kUsbReplyTimeoutMs) != static_cast<int>(ACL_RECORD_SIZE)) {
    DiagLog::Write(L"BurnFlashUSBPort(): ReadData() Failed.");
    DiagLog::Write(L"Read  acl response failed");
    return BURN_STATUS_FAILED;
  }
  // A successful burn leaves the printer in its language: no closing PJL_UEL.
  return CheckUsbReply(device) ? DOWNLOAD_STATUS_SUCCESS : BURN_STATUS_FAILED;
}

int BurnFlashPrllPort(HANDLE port, HANDLE image) {
  ImageInMemory buffer(image);
  if (!buffer.Allocate()) {
    DiagLog::Write(L"BurnFlashPrllPort Error: pFileBuffer = NULL");
    return BURN_STATUS_FAILED;
  }
  if (!buffer.Read()) {
    DiagLog::Write(L"BurnFlashPrllPort ReadFile Failed");
    return BURN_STATUS_FAILED;
  }
  ImageWasRead(buffer);
  g_aclCmd.Set(ACLCMD_BURN_FLASH, FLASH_TARGET_PARALLEL, buffer.Checksum(), buffer.sizeLow());
  if (!WriteEnvelope(port, kParallelTexts) || !TransferImage(port, buffer)) return BURN_STATUS_FAILED;
  DiagLog::Write(L"BurnFlashPrllPort(): Successful");
  return DOWNLOAD_STATUS_SUCCESS;
}

namespace {

// Sends the image, offering at most a piece at a time and waiting for each byte the printer
// takes with the burn's time-out. A printer that takes nothing for that long, or a failed send,
// is logged with the offset the image had reached.
bool SendImage(NetConnection& connection, const ImageInMemory& buffer) {
  const DWORD size = buffer.sizeLow();
  DWORD taken = 0;
  if (connection.SendWhileTaken(buffer.bytes(), size, kNetPieceBytes, &taken)) return true;
  if (connection.TimedOut()) {
    DiagLog::Write(L"NetBurn: send stalled at %u of %u bytes (gle=%d)", static_cast<unsigned>(taken),
                   static_cast<unsigned>(size), connection.LastError());
  } else {
    DiagLog::Write(L"NetBurn: send failed at %u of %u bytes (gle=%d)", static_cast<unsigned>(taken),
                   static_cast<unsigned>(size), connection.LastError());
  }
  return false;
}

}  // namespace

bool NetBurnFlash(HANDLE image, uint16_t target) {
  ImageInMemory buffer(image);
  if (!buffer.Load() || buffer.sizeLow() > INT_MAX) return false;
  ImageWasRead(buffer);
  AclCommand command;
  command.Set(ACLCMD_BURN_FLASH, target, buffer.Checksum(), buffer.sizeLow());

  // A connection that failed shows as a failed send; the connection releases itself on return.
  // After a failed envelope send PJL_UEL leaves the printer's language again, unless the send
  // timed out: the connection then takes nothing more (NetConnection::Send refuses it).
  NetConnection connection(NET_BURN_TIMEOUT_MS);
  if (!connection.Send(PJL_UEL, PJL_UEL_LENGTH)) return false;
  if (!connection.Send(PJL_ENTERLANG, PJL_ENTERLANG_LENGTH) || !connection.Send(command.bytes, ACL_RECORD_SIZE)) {
    connection.Send(PJL_UEL, PJL_UEL_LENGTH);
    return false;
  }
  if (!SendImage(connection, buffer)) return false;

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

  if (ctx.isUsb) return UsbDownload(image.get(), target);
  if (ctx.isNetwork) return NetworkDownload(std::move(image), target);
  if (ctx.isParallel) return ParallelDownload(std::move(image));
  return DOWNLOAD_STATUS_NO_DEVICE;  // no printer loaded
}
