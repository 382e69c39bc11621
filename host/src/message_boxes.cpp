// MessageBoxW: each box is recorded and answered by the test's responder, which runs on a thread
// of its own while the showing thread keeps its messages going, as the box's modal loop does.
#include <atomic>
#include <mutex>
#include <thread>

#include "host/clock.h"
#include "host/machine.h"
#include "host/windows.h"
#include "internal.h"
#include "windows_internal.h"
#include "winhost/kernel.h"

namespace host {
namespace windows {
namespace {

struct BoxState {
  std::mutex lock;
  std::vector<MessageBoxRecord> boxes;
  MessageBoxResponder responder;
};

BoxState& State() {
  static BoxState* state = new BoxState;
  return *state;
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().boxes.clear();
  State().responder = nullptr;
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> open;
  for (const MessageBoxRecord& box : State().boxes) {
    if (box.open) open.push_back("message box \"" + Utf8Of(box.text) + "\"");
  }
  return open;
}

const bool g_registered = [] {
  RegisterArea(Area{"message boxes", Reset, ListOpen});
  return true;
}();

}  // namespace

void SetMessageBoxResponder(MessageBoxResponder responder) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().responder = std::move(responder);
}

std::vector<MessageBoxRecord> MessageBoxes() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().boxes;
}

}  // namespace windows
}  // namespace host

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  HOST_ENTER("MessageBoxW", 0);
  using host::windows::State;
  if (owner && !IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  host::windows::MessageBoxRecord record;
  record.text = text ? text : L"";
  record.caption = caption ? caption : L"Error";
  record.type = type;
  record.owner = owner;
  record.threadId = GetCurrentThreadId();
  record.shownAtMs = host::clock::Now();
  size_t index;
  host::windows::MessageBoxResponder responder;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    index = State().boxes.size();
    State().boxes.push_back(record);
    responder = State().responder;
  }
  int result = IDOK;
  if (responder) {
    std::atomic<bool> answered{false};
    std::thread answer([&] {
      result = responder(record);
      answered = true;
      host::win::WakeAll();
    });
    host::win::PumpUntil([&] { return answered.load(); }, true);
    answer.join();
  }
  std::lock_guard<std::mutex> guard(State().lock);
  if (index < State().boxes.size()) {
    host::windows::MessageBoxRecord& box = State().boxes[index];
    box.open = false;
    box.result = result;
    box.closedAtMs = host::clock::Now();
  }
  return result;
}
