// Shared by the conformance cases: Win32 behaviour the program relies on, checked in the manner of
// Wine's API tests. The same cases run against the simulated host and, cross-built, under Wine.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace conformance {

// Put into the last error and into out-parameters before a call, so that a call that leaves them
// alone is told apart from one that writes them.
constexpr DWORD kPoison = 0xDEADBEEF;
constexpr wchar_t kPoisonChar = L'#';

// Whether the suite runs under Wine (and not on Windows or the simulated host).
bool RunningOnWine();

// Port name of the Local Port monitor that the printing cases use. On the simulated host
// InstallTestPort adds it; under Wine tests/wine/conformance.d/ports.sh has put it into the
// registry, and InstallTestPort does nothing.
constexpr wchar_t kTestPort[] = L"CORVLTEST:";
void InstallTestPort();

// Runs `work` on a thread of its own and waits for it to end. `work` makes no assertions.
void RunOnOtherThread(const std::function<void()>& work);

// For a case that waits for another thread to get somewhere (WaitForSingleObject with a
// time-out on its event): on the simulated host, whose clock runs compressed, such a wait is
// given up to 10 s of real time, so that a thread that is slow to start on a loaded machine does
// not fail the case. Windows and Wine wait in real time anyway.
void LetOtherThreadsCatchUp();

// A wide buffer of `chars` characters filled with kPoisonChar.
inline std::vector<wchar_t> PoisonedBuffer(size_t chars) { return std::vector<wchar_t>(chars, kPoisonChar); }

// The text in `buffer` up to its terminator, or the whole buffer when a call left it unterminated.
inline std::wstring TextIn(const std::vector<wchar_t>& buffer) {
  size_t length = 0;
  while (length < buffer.size() && buffer[length] != L'\0') ++length;
  return std::wstring(buffer.data(), length);
}

// A folder of its own under the temporary path, for one test's files; removed with the files the
// test made through File() and Folder() when the test ends.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // "<folder>\name", remembered for removal.
  std::wstring File(const std::wstring& name);
  std::wstring Folder(const std::wstring& name);
  const std::wstring& path() const { return path_; }
  bool created() const { return created_; }

 private:
  std::wstring path_;
  bool created_ = false;
  std::vector<std::wstring> files_;
  std::vector<std::wstring> folders_;
};

// Creates (or replaces) a file holding `bytes`; false when any call fails.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

// A TCP peer on a loopback address for the socket cases, made by the environment rather than
// through the calls under test (on the simulated host a simulated printer's server, under Wine a
// Winsock listener). kNeverReads takes connections and never reads what they send; kNeverAnswers
// keeps its accept queue full, so that Linux drops the SYN of every other connect to it.
enum class PeerKind { kNeverReads, kNeverAnswers };
class LoopbackPeer {
 public:
  explicit LoopbackPeer(PeerKind kind);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Where to connect; sin_port is 0 when the peer could not be made.
  const sockaddr_in& address() const { return address_; }

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
  sockaddr_in address_ = {};
};

// Machine state that some cases read and the Win32 API they use cannot make: a registry key with
// values below HKEY_LOCAL_MACHINE and an installed printer. Under Wine it is made before the run
// by tests/wine/conformance.d/ (which repeats these names and values); on the simulated host
// ProvideMachineState makes it through the host's own control, before each case that needs it.
namespace machine {
constexpr const wchar_t* kKeyPath = L"SOFTWARE\\Corvel\\Conformance";
constexpr const wchar_t* kAddressName = L"IPAddress";  // REG_SZ
constexpr const wchar_t* kAddressText = L"192.168.1.10";
constexpr const wchar_t* kLongName = L"LongText";  // REG_SZ, kLongLength times 'A'
constexpr size_t kLongLength = 200;
constexpr const wchar_t* kPortName = L"PortNumber";  // REG_DWORD
constexpr DWORD kPortNumber = 9100;
constexpr const wchar_t* kPrinterName = L"Conformance Printer";
constexpr const wchar_t* kPrinterPort = L"FILE:";
constexpr const wchar_t* kPrinterDriver = L"Conformance Driver";
constexpr const wchar_t* kPrinterComment = L"made by the conformance suite";
}  // namespace machine

// Makes the machine state above where the run itself has to (the simulated host); elsewhere a
// no-op. Call at the start of a case.
void ProvideMachineState();

}  // namespace conformance

// Leaves out, in the Wine run only, a case where Wine is known to differ from Windows.
#define SKIP_WHERE_WINE_DIFFERS(reason)                                         \
  do {                                                                          \
    if (::conformance::RunningOnWine()) GTEST_SKIP() << "Wine differs: " << reason; \
  } while (0)
