#include "engine/local_channel.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "diag/diag_log.h"
#include "engine/spooler_control.h"

const wchar_t PARALLEL_PORT_PATH[] = L"\\\\.\\NONSPOOLED_LPT1";

namespace {

// The log texts of one direction's failures.
struct TransferTexts {
  const wchar_t* createEvent;
  const wchar_t* start;
  const wchar_t* wait;
  const wchar_t* result;
  const wchar_t* kept;
};

const TransferTexts kWriteTexts = {
    L"WriteData(): CreateEvent failed!", L"WriteData(): WriteFile failed!",
    L"WriteData(): WaitForSingleObject failed!", L"WriteData(): GetOverlappedResult failed!",
    L"WriteData(): cancelled write did not end, its buffers are kept"};
const TransferTexts kReadTexts = {
    L"ReadData(): CreateEvent() Failed.", L"ReadData(): ReadFile() Failed.",
    L"ReadData(): WaitForSingleObject() Failed.", L"ReadData(): GetOverlappedResult() Failed.",
    L"ReadData(): cancelled read did not end, its buffers are kept"};

// A transfer's control block, event and bytes. The device may write into all three until the
// transfer has completed, so they live apart from the caller's buffer, on the heap.
struct TransferBlock {
  OVERLAPPED overlapped = {};
  HANDLE event = nullptr;
  uint8_t data[LOCAL_TRANSFER_LIMIT] = {};
};

struct ReleaseTransferBlock {
  void operator()(TransferBlock* block) const {
    if (block->event) CloseHandle(block->event);
    delete block;
  }
};
using TransferBlockOwner = std::unique_ptr<TransferBlock, ReleaseTransferBlock>;

// Pauses around the spooler restart before an exchange on the parallel port.
constexpr DWORD kBeforeSpoolerStopMs = 2000;
constexpr DWORD kBeforeSpoolerStartMs = 1000;
constexpr DWORD kBeforePortOpenMs = 2000;

// How long a cancelled transfer may take to complete before it is given up.
constexpr DWORD CANCEL_WAIT_MS = 1000;

// Blocks of cancelled transfers that never completed: the system may still write into them,
// so they are kept for the rest of the run rather than released.
std::vector<TransferBlock*>& KeptTransferBlocks() {
  static auto* kept = new std::vector<TransferBlock*>;
  return *kept;
}

// Whether the transfer is still under way (its result cannot be read yet).
bool StillPending(HANDLE handle, OVERLAPPED* overlapped) {
  DWORD ignored = 0;
  return !GetOverlappedResult(handle, overlapped, &ignored, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE;
}

// A transfer that did not complete in time is cancelled and waited for, with a bound. When it
// still has not completed its block is kept alive (logged); otherwise the owner releases it.
void EndUnfinishedTransfer(HANDLE handle, TransferBlockOwner& block, const TransferTexts& texts) {
  CancelIoEx(handle, &block->overlapped);
  if (!StillPending(handle, &block->overlapped)) return;
  WaitForSingleObject(block->event, CANCEL_WAIT_MS);
  if (!StillPending(handle, &block->overlapped)) return;
  DiagLog::Write(texts.kept);
  KeptTransferBlocks().push_back(block.release());
}

int Transfer(HANDLE handle, void* buffer, DWORD count, DWORD timeoutMs, bool write, const TransferTexts& texts) {
  TransferBlockOwner block(new (std::nothrow) TransferBlock);
  if (block) block->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!block || !block->event) {
    DiagLog::Write(texts.createEvent);
    return -1;
  }
  if (count > LOCAL_TRANSFER_LIMIT) count = LOCAL_TRANSFER_LIMIT;
  if (write && count) std::memcpy(block->data, buffer, count);

  block->overlapped.hEvent = block->event;
  DWORD done = 0;
  BOOL started = write ? WriteFile(handle, block->data, count, &done, &block->overlapped)
                       : ReadFile(handle, block->data, count, &done, &block->overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING) {
    DiagLog::Write(texts.start);
    return -1;
  }
  if (WaitForSingleObject(block->event, timeoutMs) != WAIT_OBJECT_0) {
    DiagLog::Write(texts.wait);
    EndUnfinishedTransfer(handle, block, texts);
    return -1;
  }
  if (!GetOverlappedResult(handle, &block->overlapped, &done, FALSE)) {
    // Read before the log line, which may change it: a result that cannot be read may belong
    // to a transfer still under way.
    DWORD error = GetLastError();
    DiagLog::Write(texts.result);
    if (error == ERROR_IO_INCOMPLETE) EndUnfinishedTransfer(handle, block, texts);
    return -1;
  }
  if (done > count) done = count;
  if (!write && done) std::memcpy(buffer, block->data, done);
  return static_cast<int>(done);
}

// Opened for overlapped I/O, so that the waits above bound every transfer: on a synchronous
// handle a device that stops answering would hold ReadFile or WriteFile for good.
HANDLE OpenParallelPort(DWORD access, DWORD share) {
  return CreateFileW(PARALLEL_PORT_PATH, access, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED, nullptr);
}

}  // namespace

int WriteData(HANDLE handle, const void* buffer, DWORD count) {
  return Transfer(handle, const_cast<void*>(buffer), count, WRITE_DATA_TIMEOUT_MS, true, kWriteTexts);
}

bool WriteAllData(HANDLE handle, const void* data, size_t length) {
  return WriteData(handle, data, static_cast<DWORD>(length)) == static_cast<int>(length);
}

int ReadData(HANDLE handle, void* buffer, DWORD count, DWORD timeoutMs) {
  DiagLog::Write(L"ReadData(): ReadData using overlapped I/O().");
  return Transfer(handle, buffer, count, timeoutMs, false, kReadTexts);
}

HANDLE OpenParallelPortReadWrite() {
  return OpenParallelPort(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

HANDLE OpenParallelPortForReading() { return OpenParallelPort(GENERIC_READ, FILE_SHARE_READ); }

bool RestartSpoolerForPort(DWORD beforeStopMs) {
  Sleep(beforeStopMs);
  if (!StopSpoolerService()) {
    DiagLog::Write(L"Failed to StopSpoolerService() \n");
    return false;
  }
  Sleep(kBeforeSpoolerStartMs);
  if (!StartSpoolerService()) {
    DiagLog::Write(L"Failed to StartSpoolerService() \n");
    return false;
  }
  return true;
}

HANDLE OpenParallelPortLogged(const wchar_t* failureFormat) {
  HANDLE port = OpenParallelPortReadWrite();
  if (port == INVALID_HANDLE_VALUE) DiagLog::Write(failureFormat, static_cast<int>(GetLastError()));
  return port;
}

HANDLE OpenParallelPortAfterSpoolerRestart(const wchar_t* failureFormat) {
  if (!RestartSpoolerForPort(kBeforeSpoolerStopMs)) return INVALID_HANDLE_VALUE;
  Sleep(kBeforePortOpenMs);
  return OpenParallelPortLogged(failureFormat);
}
