#include "engine/local_channel.h"

#include "diag/diag_log.h"
#include "platform/unique_handle.h"

const wchar_t PARALLEL_PORT_PATH[] = L"\\\\.\\NONSPOOLED_LPT1";

namespace {

// The log texts of one direction's failures.
struct TransferTexts {
  const wchar_t* createEvent;
  const wchar_t* start;
  const wchar_t* wait;
  const wchar_t* result;
};

const TransferTexts kWriteTexts = {
    L"WriteData(): CreateEvent failed!", L"WriteData(): WriteFile failed!",
    L"WriteData(): WaitForSingleObject failed!", L"WriteData(): GetOverlappedResult failed!"};
const TransferTexts kReadTexts = {
    L"ReadData(): CreateEvent() Failed.", L"ReadData(): ReadFile() Failed.",
    L"ReadData(): WaitForSingleObject() Failed.", L"ReadData(): GetOverlappedResult() Failed."};

// A transfer that did not complete in time is cancelled, and waited for until it has
// completed, so that the device no longer uses the control block, the buffer or the event.
void EndUnfinishedTransfer(HANDLE handle, OVERLAPPED* overlapped) {
  CancelIoEx(handle, overlapped);
  DWORD ignored = 0;
  GetOverlappedResult(handle, overlapped, &ignored, TRUE);
}

int Transfer(HANDLE handle, void* buffer, DWORD count, DWORD timeoutMs, bool write, const TransferTexts& texts) {
  platform::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) {
    DiagLog::Write(texts.createEvent);
    return -1;
  }
  if (count > LOCAL_TRANSFER_LIMIT) count = LOCAL_TRANSFER_LIMIT;

  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  DWORD done = 0;
  BOOL started = write ? WriteFile(handle, buffer, count, &done, &overlapped)
                       : ReadFile(handle, buffer, count, &done, &overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING) {
    DiagLog::Write(texts.start);
    return -1;
  }
  if (WaitForSingleObject(event.get(), timeoutMs) != WAIT_OBJECT_0) {
    DiagLog::Write(texts.wait);
    EndUnfinishedTransfer(handle, &overlapped);
    return -1;
  }
  if (!GetOverlappedResult(handle, &overlapped, &done, FALSE)) {
    DiagLog::Write(texts.result);
    // A result that cannot be read may belong to a transfer still under way.
    if (GetLastError() == ERROR_IO_INCOMPLETE) EndUnfinishedTransfer(handle, &overlapped);
    return -1;
  }
  return static_cast<int>(done);
}

HANDLE OpenParallelPort(DWORD access, DWORD share) {
  return CreateFileW(PARALLEL_PORT_PATH, access, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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
