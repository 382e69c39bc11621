// Handles, events, mutexes and waits.
#include "host/kernel_objects.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "handle_table.h"
#include "host/clock.h"
#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {
namespace {

// NTSTATUS values kept in OVERLAPPED::Internal, as Windows does.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusEndOfFile = 0xC0000011;
// Other failures: a private facility that carries the Win32 error in the low word.
constexpr ULONG_PTR kStatusWin32Base = 0xC0070000;

struct KernelTable {
  std::mutex lock;
  HandleTable<std::shared_ptr<KernelObject>> handles{"handle", 0x100, 4};
  std::map<std::wstring, std::weak_ptr<KernelObject>> names;
};

KernelTable& Table() {
  static KernelTable* table = new KernelTable;
  return *table;
}

// One lock and condition for all waits: waits are rare and short in this program.
std::mutex g_waitLock;
std::condition_variable g_waitCondition;

class Event : public KernelObject {
 public:
  Event(bool manual, bool state) : manual_(manual), signaled_(state) {}
  std::string Describe() const override { return "event"; }
  bool Waitable() const override { return true; }
  bool TryAcquire() override {
    if (!signaled_) return false;
    if (!manual_) signaled_ = false;
    return true;
  }
  void Set(bool state) { signaled_ = state; }

 private:
  bool manual_;
  bool signaled_;
};

// What the pseudo-handles of the current process and thread stand for in a wait: an object
// that is never signalled while its own process or thread waits on it.
class Unsignalled : public KernelObject {
 public:
  std::string Describe() const override { return "current process or thread"; }
  bool Waitable() const override { return true; }
};

bool IsPseudoHandle(HANDLE handle) { return handle == GetCurrentProcess() || handle == GetCurrentThread(); }

class Mutex : public KernelObject {
 public:
  explicit Mutex(std::wstring name) : name_(std::move(name)) {}
  std::string Describe() const override { return "mutex \"" + Utf8Of(name_) + "\""; }
  bool Waitable() const override { return true; }
  bool TryAcquire() override {
    DWORD me = CurrentThreadId();
    if (owner_ != 0 && owner_ != me) return false;
    owner_ = me;
    ++count_;
    return true;
  }
  bool Release() {
    if (owner_ != CurrentThreadId() || count_ == 0) return false;
    if (--count_ == 0) owner_ = 0;
    return true;
  }

 private:
  std::wstring name_;
  DWORD owner_ = 0;
  unsigned count_ = 0;
};

thread_local DWORD t_lastError = 0;

std::vector<std::string> ListOpenHandles() {
  std::lock_guard<std::mutex> guard(Table().lock);
  return Table().handles.List([](const std::shared_ptr<KernelObject>& object) { return object->Describe(); });
}

void ResetHandles() {
  std::lock_guard<std::mutex> guard(Table().lock);
  Table().handles.Clear(true);
  Table().names.clear();
}

const bool g_registered = [] {
  RegisterArea(Area{"kernel objects", ResetHandles, ListOpenHandles});
  return true;
}();

}  // namespace

BOOL KernelObject::Read(void*, DWORD, DWORD*, OVERLAPPED*) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL KernelObject::Write(const void*, DWORD, DWORD*, OVERLAPPED*) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> guard(Table().lock);
  return reinterpret_cast<HANDLE>(Table().handles.Add(std::move(object)));
}

void CloseHandlesOfProcess(DWORD process) {
  std::vector<std::shared_ptr<KernelObject>> closed;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    closed = Table().handles.RemoveOwnedBy(process);
  }
  closed.clear();  // the objects go outside the table lock
}

std::shared_ptr<KernelObject> ObjectOf(HANDLE handle) {
  std::lock_guard<std::mutex> guard(Table().lock);
  std::shared_ptr<KernelObject>* object = Table().handles.Find(handle);
  return object ? *object : nullptr;
}

void NotifyWaiters() {
  std::lock_guard<std::mutex> guard(g_waitLock);
  g_waitCondition.notify_all();
}

bool SetEventObject(HANDLE handle) {
  auto event = ObjectAs<Event>(handle);
  if (!event) return false;
  {
    std::lock_guard<std::mutex> guard(g_waitLock);
    event->Set(true);
  }
  g_waitCondition.notify_all();
  return true;
}

void CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes) {
  if (!overlapped) return;
  ULONG_PTR status = kStatusSuccess;
  if (error == ERROR_OPERATION_ABORTED) {
    status = kStatusCancelled;
  } else if (error == ERROR_HANDLE_EOF) {
    status = kStatusEndOfFile;
  } else if (error != 0) {
    status = kStatusWin32Base | (error & 0xFFFF);
  }
  auto event = overlapped->hEvent ? ObjectAs<Event>(overlapped->hEvent) : nullptr;
  {
    std::lock_guard<std::mutex> guard(g_waitLock);
    overlapped->Internal = status;
    overlapped->InternalHigh = bytes;
    if (event) event->Set(true);
  }
  g_waitCondition.notify_all();
}

void MarkOverlappedPending(OVERLAPPED* overlapped) {
  if (!overlapped) return;
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  if (overlapped->hEvent) {
    auto event = ObjectAs<Event>(overlapped->hEvent);
    std::lock_guard<std::mutex> guard(g_waitLock);
    if (event) event->Set(false);
  }
}

}  // namespace host

DWORD WINAPI GetLastError() { return host::t_lastError; }

void WINAPI SetLastError(DWORD code) { host::t_lastError = code; }

BOOL WINAPI CloseHandle(HANDLE handle) {
  HOST_ENTER("CloseHandle", FALSE);
  if (host::IsPseudoHandle(handle)) return TRUE;  // documented: no effect
  std::shared_ptr<host::KernelObject> object;
  {
    std::lock_guard<std::mutex> guard(host::Table().lock);
    if (!host::Table().handles.Remove(handle, &object)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  object.reset();  // the object goes when its last handle does (outside the table lock)
  return TRUE;
}

namespace host {
namespace {

// Named events and mutexes share one namespace; names are case-sensitive. Returns the object of
// that name when it exists (`*existed`), else a new one from `make`, registered under the name.
// Null when the name belongs to another kind of object.
template <typename T, typename Make>
std::shared_ptr<KernelObject> CreateNamed(LPCWSTR name, Make make, bool* existed) {
  std::lock_guard<std::mutex> guard(Table().lock);
  *existed = false;
  if (!name || !*name) return make();
  std::shared_ptr<KernelObject> object;
  auto it = Table().names.find(name);
  if (it != Table().names.end()) object = it->second.lock();
  if (object) {
    *existed = true;
    return std::dynamic_pointer_cast<T>(object) ? object : nullptr;
  }
  object = make();
  Table().names[name] = object;
  return object;
}

}  // namespace
}  // namespace host

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  HOST_ENTER("CreateEventW", nullptr);
  bool existed = false;
  auto object = host::CreateNamed<host::Event>(
      name, [&] { return std::make_shared<host::Event>(manualReset != FALSE, initialState != FALSE); }, &existed);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);  // the name belongs to another kind of object
    return nullptr;
  }
  // An existing event is opened as it is: the reset kind and initial state are ignored.
  HANDLE handle = host::NewHandle(object);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : 0);
  return handle;
}

BOOL WINAPI SetEvent(HANDLE event) {
  HOST_ENTER("SetEvent", FALSE);
  if (!host::SetEventObject(event)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE handle) {
  HOST_ENTER("ResetEvent", FALSE);
  auto event = host::ObjectAs<host::Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(host::g_waitLock);
  event->Set(false);
  return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
  HOST_ENTER("CreateMutexW", nullptr);
  bool existed = false;
  auto object = host::CreateNamed<host::Mutex>(
      name, [&] { return std::make_shared<host::Mutex>(name ? name : L""); }, &existed);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);  // the name belongs to another kind of object
    return nullptr;
  }
  // An existing mutex is opened, not taken: the initial-owner request is ignored.
  if (!existed && initialOwner) {
    std::lock_guard<std::mutex> guard(host::g_waitLock);
    object->TryAcquire();
  }
  HANDLE handle = host::NewHandle(object);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : 0);
  return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE handle) {
  HOST_ENTER("ReleaseMutex", FALSE);
  auto mutex = host::ObjectAs<host::Mutex>(handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool released;
  {
    std::lock_guard<std::mutex> guard(host::g_waitLock);
    released = mutex->Release();
  }
  if (!released) {
    SetLastError(288L /* ERROR_NOT_OWNER */);
    return FALSE;
  }
  host::g_waitCondition.notify_all();
  return TRUE;
}

namespace host {
namespace {

// The object a wait stands on, or null when the handle cannot be waited on.
std::shared_ptr<KernelObject> WaitableOf(HANDLE handle) {
  std::shared_ptr<KernelObject> object = IsPseudoHandle(handle) ? std::make_shared<Unsignalled>() : ObjectOf(handle);
  return object && object->Waitable() ? object : nullptr;
}

// Waits until one of `objects` can be acquired: WAIT_OBJECT_0 plus the first such index, or
// WAIT_TIMEOUT once `milliseconds` have passed on the host clock.
DWORD WaitForFirst(const char* api, const std::vector<std::shared_ptr<KernelObject>>& objects, DWORD milliseconds) {
  clock::RecordWait(api, milliseconds);
  DWORD index = 0;
  auto acquired = [&] {
    for (index = 0; index < objects.size(); ++index) {
      if (objects[index]->TryAcquire()) return true;
    }
    return false;
  };
  std::unique_lock<std::mutex> guard(g_waitLock);
  if (acquired()) return WAIT_OBJECT_0 + index;
  if (milliseconds == 0) return WAIT_TIMEOUT;
  if (milliseconds == INFINITE) {
    g_waitCondition.wait(guard, acquired);
    return WAIT_OBJECT_0 + index;
  }
  // On a stopped clock no time-out can end: only an object's signal, or the clock running again.
  while (clock::Frozen()) {
    if (g_waitCondition.wait_for(guard, std::chrono::milliseconds(1), acquired)) return WAIT_OBJECT_0 + index;
  }
  auto real = std::max(clock::RealDuration(milliseconds), clock::MinimumObjectWait());
  if (g_waitCondition.wait_for(guard, real, acquired)) return WAIT_OBJECT_0 + index;
  guard.unlock();
  clock::Advance(milliseconds);
  return WAIT_TIMEOUT;
}

}  // namespace
}  // namespace host

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  HOST_ENTER("WaitForSingleObject", WAIT_FAILED);
  std::shared_ptr<host::KernelObject> object = host::WaitableOf(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return host::WaitForFirst("WaitForSingleObject", {object}, milliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  HOST_ENTER("WaitForMultipleObjects", WAIT_FAILED);
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (waitAll) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<host::KernelObject>> objects;
  for (DWORD i = 0; i < count; ++i) {
    objects.push_back(host::WaitableOf(handles[i]));
    if (!objects.back()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  return host::WaitForFirst("WaitForMultipleObjects", objects, milliseconds);
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait) {
  HOST_ENTER("GetOverlappedResult", FALSE);
  if (!overlapped || !host::ObjectOf(file)) {
    SetLastError(overlapped ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (overlapped->Internal == host::kStatusPending) {
    if (!wait) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    std::unique_lock<std::mutex> guard(host::g_waitLock);
    host::g_waitCondition.wait(guard, [&] { return overlapped->Internal != host::kStatusPending; });
  }
  if (bytesTransferred) *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
  switch (overlapped->Internal) {
    case host::kStatusSuccess:
      return TRUE;
    case host::kStatusCancelled:
      SetLastError(ERROR_OPERATION_ABORTED);
      return FALSE;
    case host::kStatusEndOfFile:
      SetLastError(ERROR_HANDLE_EOF);
      return FALSE;
    default:
      SetLastError(static_cast<DWORD>(overlapped->Internal & 0xFFFF));
      return FALSE;
  }
}
