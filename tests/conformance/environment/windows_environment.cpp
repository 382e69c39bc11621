// The conformance cases on Windows or under Wine. Wine's ntdll exports wine_get_version; Windows'
// does not.
#include "conformance/conformance.h"

namespace conformance {

bool RunningOnWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

namespace {

DWORD WINAPI RunWork(LPVOID work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

}  // namespace

void InstallTestPort() {}

void LetOtherThreadsCatchUp() {}

void RunOnOtherThread(const std::function<void()>& work) {
  HANDLE thread = CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
  ASSERT_NE(thread, nullptr) << "CreateThread failed, error " << GetLastError();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

struct LoopbackPeer::Parts {
  bool started = false;
  SOCKET listener = INVALID_SOCKET;
  SOCKET filler = INVALID_SOCKET;  // takes the one place of a full accept queue
};

LoopbackPeer::LoopbackPeer(PeerKind kind) : parts_(new Parts) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  parts_->started = true;
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof local;
  parts_->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  // A backlog of 0 holds one connection on Linux; the filler takes it.
  if (parts_->listener == INVALID_SOCKET ||
      bind(parts_->listener, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(parts_->listener, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      listen(parts_->listener, kind == PeerKind::kNeverAnswers ? 0 : 8) != 0) {
    ADD_FAILURE() << "no loopback listener, error " << WSAGetLastError();
    return;
  }
  if (kind == PeerKind::kNeverAnswers) {
    parts_->filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(parts_->filler, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      ADD_FAILURE() << "the accept queue could not be filled, error " << WSAGetLastError();
      return;
    }
  }
  address_ = local;
}

LoopbackPeer::~LoopbackPeer() {
  if (parts_->filler != INVALID_SOCKET) closesocket(parts_->filler);
  if (parts_->listener != INVALID_SOCKET) closesocket(parts_->listener);
  if (parts_->started) WSACleanup();
}

// Under Wine the state was made before the run, by tests/wine/conformance.d/.
void ProvideMachineState() {}

}  // namespace conformance
