// COM on the simulated host: per-thread initialisation counts and the shell's taskbar list
// object, whose calls are recorded for tests. Unbalanced initialisations and objects not released
// count in the leak check.
#include <map>
#include <mutex>
#include <set>

#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/objbase.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_TaskbarList = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const IID IID_ITaskbarList = {0x56FDF342, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};

namespace host {
namespace windows {
namespace {

class TaskbarListObject;


struct ComState {
  std::mutex lock;
  std::map<DWORD, int> threads;  // initialisations by thread
  std::set<TaskbarListObject*> objects;
  TaskbarListCalls calls;
  HRESULT failure = S_OK;
};

ComState& State() {
  static ComState* state = new ComState;
  return *state;
}

class TaskbarListObject final : public ITaskbarList {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ITaskbarList) {
      AddRef();
      *object = static_cast<ITaskbarList*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    std::lock_guard<std::mutex> guard(State().lock);
    return ++references_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left;
    {
      std::lock_guard<std::mutex> guard(State().lock);
      left = --references_;
      if (left == 0) State().objects.erase(this);
    }
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE HrInit() override {
    std::lock_guard<std::mutex> guard(State().lock);
    ++State().calls.hrInit;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddTab(HWND window) override {
    std::lock_guard<std::mutex> guard(State().lock);
    State().calls.addedTabs.push_back(window);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND window) override {
    std::lock_guard<std::mutex> guard(State().lock);
    State().calls.deletedTabs.push_back(window);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }

  ULONG references_ = 1;
};

void Reset() {
  std::set<TaskbarListObject*> leftOver;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    leftOver.swap(State().objects);
    State().threads.clear();
    State().calls = TaskbarListCalls{};
    State().failure = S_OK;
  }
  for (TaskbarListObject* object : leftOver) delete object;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> open;
  for (const auto& [thread, count] : State().threads) {
    if (count > 0) {
      open.push_back("COM initialised on thread " + std::to_string(thread) + " (" + std::to_string(count) +
                     " more CoInitialize than CoUninitialize)");
    }
  }
  for (TaskbarListObject* object : State().objects) {
    open.push_back("taskbar list object (" + std::to_string(object->references_) + " references)");
  }
  return open;
}

const bool g_registered = [] {
  RegisterArea(Area{"COM", Reset, ListOpen});
  return true;
}();

}  // namespace

TaskbarListCalls TaskbarList() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().calls;
}

void SetTaskbarListFailure(HRESULT hr) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().failure = hr;
}

}  // namespace windows
}  // namespace host

using host::windows::State;

HRESULT WINAPI CoInitialize(LPVOID reserved) {
  DWORD fault = 0;
  if (host::CallFails("CoInitialize", &fault)) return static_cast<HRESULT>(fault);
  if (reserved) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(State().lock);
  return ++State().threads[GetCurrentThreadId()] == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
  std::lock_guard<std::mutex> guard(State().lock);
  auto it = State().threads.find(GetCurrentThreadId());
  if (it != State().threads.end() && it->second > 0) --it->second;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  DWORD fault = 0;
  if (host::CallFails("CoCreateInstance", &fault)) return static_cast<HRESULT>(fault);
  std::lock_guard<std::mutex> guard(State().lock);
  auto it = State().threads.find(GetCurrentThreadId());
  if (it == State().threads.end() || it->second == 0) return CO_E_NOTINITIALIZED;
  if (clsid != CLSID_TaskbarList) return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (FAILED(State().failure)) return State().failure;
  if (iid != IID_IUnknown && iid != IID_ITaskbarList) return E_NOINTERFACE;
  auto* created = new host::windows::TaskbarListObject;
  State().objects.insert(created);
  ++State().calls.created;
  *object = static_cast<ITaskbarList*>(created);
  return S_OK;
}
