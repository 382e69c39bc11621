#include "net/network.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "diag/diag_log.h"

namespace {

using GetNumberOfInterfacesFn = DWORD(WINAPI*)(PDWORD);
using IcmpCreateFileFn = HANDLE(WINAPI*)();
using IcmpCloseHandleFn = BOOL(WINAPI*)(HANDLE);
using GetIpAddrTableFn = DWORD(WINAPI*)(PMIB_IPADDRTABLE, PULONG, BOOL);

template <typename Function>
Function As(FARPROC entry) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

constexpr DWORD kSocketsFailed = 8;
constexpr int kNotInstalled = 11;
constexpr size_t kProtocolRecords = 255;
// Longest DNS name (253 bytes) and its terminator.
constexpr size_t kHostNameBytes = 254;
// Longest address text the conversion may give (38 characters) and its terminator.
constexpr DWORD kAddressTextChars = 39;

// System message texts of Windows Sockets: one process-wide buffer, used on the user-interface
// thread only.
wchar_t g_messageText[1024];

const wchar_t* FormatSystemText(DWORD code) {
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), g_messageText,
                                static_cast<DWORD>(std::size(g_messageText)), nullptr);
  if (length == 0) {
    std::swprintf(g_messageText, std::size(g_messageText), L"No system text for error code %lu",
                  static_cast<unsigned long>(code));
  }
  return g_messageText;
}

// Writes a system message text as the whole line (it is not a format).
void WriteSystemText(DWORD code) { DiagLog::Write(L"%ls", FormatSystemText(code)); }

struct AddressListDeleter {
  void operator()(PADDRINFOA list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<ADDRINFOA, AddressListDeleter>;

bool ValidHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

}  // namespace

Network::Network() {
  DiagLog::Write(L"Network singleton created");
  iphlpapiLibrary_.reset(LoadLibraryW(L"iphlpapi.dll"));
  icmpLibrary_.reset(LoadLibraryW(L"icmp.dll"));
  Start();
}

Network::~Network() { Release(); }

void Network::Release() {
  if (ValidHandle(icmpHandle_) || ValidHandle(icmp6Handle_)) {
    if (auto close = As<IcmpCloseHandleFn>(FindEntryPoint("IcmpCloseHandle"))) {
      if (ValidHandle(icmpHandle_)) close(icmpHandle_);
      if (ValidHandle(icmp6Handle_)) close(icmp6Handle_);
    }
  }
  icmpHandle_ = nullptr;
  icmp6Handle_ = nullptr;
  addrTable_.reset();
  if (socketsStarted_) WSACleanup();
  socketsStarted_ = false;
}

FARPROC Network::FindEntryPoint(const char* name) const {
  if (!iphlpapiLibrary_) return nullptr;
  if (FARPROC entry = GetProcAddress(iphlpapiLibrary_.get(), name)) return entry;
  if (!icmpLibrary_) return nullptr;
  return GetProcAddress(icmpLibrary_.get(), name);
}

int Network::Start() {
  Release();
  for (std::wstring& text : localAddressText_) text.clear();
  addrTableSize_ = sizeof(MIB_IPADDRTABLE);
  addrTableResult_ = 0;

  interfaceCount_ = 0;
  if (auto count = As<GetNumberOfInterfacesFn>(FindEntryPoint("GetNumberOfInterfaces"))) count(&interfaceCount_);

  icmpHandle_ = nullptr;
  if (auto create = As<IcmpCreateFileFn>(FindEntryPoint("IcmpCreateFile"))) icmpHandle_ = create();

  icmp6Handle_ = nullptr;
  if (OsSupportsIcmp6()) {
    if (auto create6 = As<IcmpCreateFileFn>(FindEntryPoint("Icmp6CreateFile"))) icmp6Handle_ = create6();
  }

  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    DiagLog::Write(L"Can't start WSAStartup");
    return kSocketsFailed;
  }
  socketsStarted_ = true;

  ReadAddressTable();
  DiagLog::Write(L"Network started!");
  return 0;
}

void Network::ReadAddressTable() {
  auto getTable = As<GetIpAddrTableFn>(FindEntryPoint("GetIpAddrTable"));
  if (!getTable) {
    addrTable_.reset();
    return;
  }
  addrTable_.reset(GlobalAlloc(GPTR, addrTableSize_));
  if (!addrTable_) return;
  ULONG size = addrTableSize_;
  addrTableResult_ = getTable(static_cast<PMIB_IPADDRTABLE>(addrTable_.get()), &size, FALSE);
  if (addrTableResult_ == ERROR_INSUFFICIENT_BUFFER) {
    addrTable_.reset(GlobalAlloc(GPTR, size));
    if (!addrTable_) return;
    addrTableSize_ = size;
    addrTableResult_ = getTable(static_cast<PMIB_IPADDRTABLE>(addrTable_.get()), &size, FALSE);
  }
  if (addrTableResult_ != NO_ERROR) return;

  const auto* table = static_cast<const MIB_IPADDRTABLE*>(addrTable_.get());
  // Rows are read only as far as the block holds them, whatever the count claims.
  const size_t fit = (addrTableSize_ - offsetof(MIB_IPADDRTABLE, table)) / sizeof(MIB_IPADDRROW);
  const size_t rows = std::min<size_t>({table->dwNumEntries, fit, kLocalAddressTexts});
  for (size_t i = 0; i < rows; ++i) {
    in_addr address{};
    address.s_addr = table->table[i].dwAddr;
    const char* dotted = inet_ntoa(address);
    localAddressText_[i].assign(dotted, dotted + std::strlen(dotted));
  }
}

bool OsSupportsIcmp6() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = 5;
  version.dwMinorVersion = 1;
  version.wServicePackMajor = 2;
  version.wServicePackMinor = 0;
  ULONGLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR,
                            conditions) != FALSE;
}

int IsProtocolInstalled(int family) {
  std::vector<WSAPROTOCOL_INFOW> records(kProtocolRecords);
  DWORD length = static_cast<DWORD>(records.size() * sizeof(WSAPROTOCOL_INFOW));
  int count = WSAEnumProtocolsW(nullptr, records.data(), &length);
  if (count == SOCKET_ERROR) {
    WriteSystemText(static_cast<DWORD>(WSAGetLastError()));
    return 1;
  }
  for (int i = 0; i < count && static_cast<size_t>(i) < records.size(); ++i) {
    if (records[static_cast<size_t>(i)].iAddressFamily == family) return 0;
  }
  return kNotInstalled;
}

int GetIpAddrFromHostName(const std::wstring& host, IPAddress& address) {
  DiagLog::Write(L"GetIpAddrFromHostName()");
  if (IsProtocolInstalled(AF_INET) == 0) {
    DiagLog::Write(L"GetIpAddrFromHostName(IPv4)");
    if (GetIpAddrFromHostName(host, address, false) == 0) return 0;
  }
  int installed = IsProtocolInstalled(AF_INET6);
  if (installed != 0) return installed;
  DiagLog::Write(L"GetIpAddrFromHostName(IPv6)");
  return GetIpAddrFromHostName(host, address, true);
}

int GetIpAddrFromHostName(const std::wstring& host, IPAddress& address, bool blIpv6) {
  std::wstring name = host;
  DiagLog::Write(L"GetIpAddrFromHostName(blIpv6 = %d)", blIpv6 ? 1 : 0);

  if (name.empty()) {
    char own[kHostNameBytes] = {};
    if (gethostname(own, static_cast<int>(sizeof own)) != 0) {
      WriteSystemText(static_cast<DWORD>(WSAGetLastError()));
      return 1;
    }
    wchar_t wide[kHostNameBytes] = {};
    if (MultiByteToWideChar(CP_UTF8, 0, own, -1, wide, static_cast<int>(std::size(wide))) == 0) {
      DiagLog::Write(L"Computer name cannot be read as UTF-8");
      return 1;
    }
    name = wide;
  }

  ADDRINFOA hints{};
  hints.ai_family = blIpv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;

  char utf8[kHostNameBytes] = {};
  if (WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8, static_cast<int>(sizeof utf8), nullptr, nullptr) ==
      0) {
    // Refused rather than cut: a shortened name could resolve to another host.
    DiagLog::Write(L"Host name too long to resolve: %.300ls", name.c_str());
    return 1;
  }

  PADDRINFOA found = nullptr;
  int error = getaddrinfo(utf8, nullptr, &hints, &found);
  AddressList list(found);
  WSASetLastError(error);
  if (error != 0) {
    WriteSystemText(static_cast<DWORD>(error));
    return 1;
  }
  if (!list || !list->ai_addr) return 1;

  wchar_t text[kAddressTextChars] = {};
  DWORD length = kAddressTextChars;
  DWORD addressLength =
      static_cast<DWORD>(list->ai_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
  int result = 0;
  if (WSAAddressToStringW(list->ai_addr, addressLength, nullptr, text, &length) != 0) {
    WriteSystemText(static_cast<DWORD>(WSAGetLastError()));
    text[0] = L'\0';
    result = 1;
  }
  address = IPAddress(text);
  return result;
}
