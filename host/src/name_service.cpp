// The simulated machine's name service and protocol catalogue: gethostname, getaddrinfo /
// freeaddrinfo and WSAEnumProtocolsW, on names, addresses and protocols that a test sets
// (host/network.h).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "address_parse.h"
#include "host/machine.h"
#include "host/network.h"
#include "host/sockets.h"
#include "internal.h"
#include "winhost/kernel.h"
#include "winhost/ws2tcpip.h"

namespace host {
namespace network {
namespace {

// One resolved address: family, bytes in network order, IPv6 scope.
struct Address {
  int family = AF_INET;
  uint8_t bytes[16] = {};
  ULONG scope = 0;
};

struct NameEntry {
  std::vector<Address> addresses;
  int failure = 0;
};

struct NameState {
  std::mutex lock;
  std::string computerName;
  std::map<std::wstring, NameEntry> names;  // by upper-case name
  std::vector<Protocol> protocols;
  std::set<PADDRINFOA> lists;  // getaddrinfo results not yet freed
};

NameState& State() {
  static NameState* state = new NameState;
  return *state;
}

std::wstring Key(const std::string& name) { return UpperName(WideOfUtf8(name)); }

bool ReadAddress(const std::string& text, Address* address) {
  *address = Address{};
  if (net::ParseDottedIPv4(text, address->bytes)) return true;
  uint32_t scope = 0;
  if (!net::ParseIPv6WithScope(text, address->bytes, &scope)) return false;
  address->family = AF_INET6;
  address->scope = scope;
  return true;
}

std::vector<Address> ReadAddresses(const std::vector<std::string>& texts) {
  std::vector<Address> addresses;
  for (const std::string& text : texts) {
    Address address;
    if (ReadAddress(text, &address)) addresses.push_back(address);
  }
  return addresses;
}

void SetFamiliesLocked(const std::vector<int>& families) {
  State().protocols.clear();
  for (int family : families) {
    State().protocols.push_back({family, SOCK_STREAM, IPPROTO_TCP, std::wstring(L"MSAFD Tcpip [TCP/IP") +
                                                                     (family == AF_INET6 ? L"v6]" : L"]")});
    State().protocols.push_back({family, SOCK_DGRAM, IPPROTO_UDP, std::wstring(L"MSAFD Tcpip [UDP/IP") +
                                                                    (family == AF_INET6 ? L"v6]" : L"]")});
  }
}

void FreeList(PADDRINFOA list) {
  while (list) {
    PADDRINFOA next = list->ai_next;
    delete[] reinterpret_cast<unsigned char*>(list->ai_addr);
    delete[] list->ai_canonname;
    delete list;
    list = next;
  }
}

void Reset() {
  std::lock_guard<std::mutex> guard(State().lock);
  for (PADDRINFOA list : State().lists) FreeList(list);
  State().lists.clear();
  State().computerName = "WORKSTATION";
  State().names.clear();
  State().names[Key("WORKSTATION")].addresses = ReadAddresses({"192.168.1.20"});
  State().names[Key("localhost")].addresses = ReadAddresses({"127.0.0.1", "::1"});
  SetFamiliesLocked({AF_INET, AF_INET6});
}

std::vector<std::string> ListOpen() {
  std::lock_guard<std::mutex> guard(State().lock);
  std::vector<std::string> open;
  for (size_t i = 0; i < State().lists.size(); ++i) open.push_back("address list of getaddrinfo not freed");
  return open;
}

const bool g_registered = [] {
  RegisterArea(Area{"name service", Reset, ListOpen});
  return true;
}();

PADDRINFOA NewEntry(const Address& address, const ADDRINFOA* hints) {
  auto* entry = new ADDRINFOA{};
  entry->ai_family = address.family;
  entry->ai_socktype = hints ? hints->ai_socktype : 0;
  entry->ai_protocol = hints ? hints->ai_protocol : 0;
  if (address.family == AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(new unsigned char[sizeof(sockaddr_in)]());
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, address.bytes, 4);
    entry->ai_addr = reinterpret_cast<sockaddr*>(in);
    entry->ai_addrlen = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(new unsigned char[sizeof(sockaddr_in6)]());
    in6->sin6_family = AF_INET6;
    std::memcpy(in6->sin6_addr.u.Byte, address.bytes, 16);
    in6->sin6_scope_id = address.scope;
    entry->ai_addr = reinterpret_cast<sockaddr*>(in6);
    entry->ai_addrlen = sizeof(sockaddr_in6);
  }
  return entry;
}

// The addresses `node` stands for, or the error of its look-up.
int Lookup(const std::string& node, int family, bool numericOnly, std::vector<Address>* found) {
  // A numeric IPv4 host is read as inet_addr reads it ("127.1", "0x7f.1", octal "010"), as
  // Windows does.
  Address numeric;
  uint32_t scope = 0;
  bool isNumeric = net::ParseIPv4AsInetAddr(node, numeric.bytes);
  if (!isNumeric && net::ParseIPv6WithScope(node, numeric.bytes, &scope)) {
    numeric.family = AF_INET6;
    numeric.scope = scope;
    isNumeric = true;
  }
  if (isNumeric) {
    if (family != AF_UNSPEC && family != numeric.family) return WSAHOST_NOT_FOUND;
    found->push_back(numeric);
    return 0;
  }
  if (numericOnly) return WSAHOST_NOT_FOUND;
  std::lock_guard<std::mutex> guard(State().lock);
  std::string name = node.empty() ? State().computerName : node;
  auto it = State().names.find(Key(name));
  if (it == State().names.end()) return WSAHOST_NOT_FOUND;
  if (it->second.failure != 0) return it->second.failure;
  for (const Address& address : it->second.addresses) {
    if (family == AF_UNSPEC || family == address.family) found->push_back(address);
  }
  return found->empty() ? WSAHOST_NOT_FOUND : 0;
}

}  // namespace

void SetComputerName(const std::string& name) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().computerName = name;
}

void SetHostAddresses(const std::string& name, const std::vector<std::string>& addresses) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().names[Key(name)] = NameEntry{ReadAddresses(addresses), 0};
}

void SetHostFailure(const std::string& name, int error) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().names[Key(name)] = NameEntry{{}, error};
}

void ClearNames() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().names.clear();
}

void SetInstalledProtocols(const std::vector<Protocol>& protocols) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().protocols = protocols;
}

void SetInstalledFamilies(const std::vector<int>& families) {
  std::lock_guard<std::mutex> guard(State().lock);
  SetFamiliesLocked(families);
}

}  // namespace network
}  // namespace host

using host::network::State;

namespace {

bool Started() { return host::sockets::StartCount() > 0; }

}  // namespace

int WINAPI gethostname(char* name, int namelen) {
  HOST_ENTER("gethostname", SOCKET_ERROR);
  if (!Started()) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  std::string own;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    own = State().computerName;
  }
  if (!name || namelen < 0 || static_cast<size_t>(namelen) < own.size() + 1) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  std::memcpy(name, own.c_str(), own.size() + 1);
  return 0;
}

int WINAPI getaddrinfo(const char* node, const char* service, const ADDRINFOA* hints, PADDRINFOA* result) {
  DWORD fault = 0;
  if (host::CallFails("getaddrinfo", &fault)) {
    if (result) *result = nullptr;
    WSASetLastError(static_cast<int>(fault));
    return static_cast<int>(fault);
  }
  auto fail = [](int error) {
    WSASetLastError(error);
    return error;
  };
  if (!result) return fail(WSAEINVAL);
  *result = nullptr;
  if (!Started()) return fail(WSANOTINITIALISED);
  if (!node && !service) return fail(WSAHOST_NOT_FOUND);
  int family = hints ? hints->ai_family : AF_UNSPEC;
  if (family != AF_UNSPEC && family != AF_INET && family != AF_INET6) return fail(WSAEAFNOSUPPORT);
  // Services (port names) are not modelled: the program resolves host names only.
  if (!node) return fail(WSAHOST_NOT_FOUND);
  // An IPv6 address in brackets ("[::1]", also "[::1]:80") is taken without them when IPv6
  // results may be asked for; what follows the closing bracket is not read.
  std::string name = node;
  size_t close = name.find(']');
  if (family != AF_INET && name.size() > 1 && name[0] == '[' && close != std::string::npos) {
    name = name.substr(1, close - 1);
  }
  std::vector<host::network::Address> found;
  bool numericOnly = hints && (hints->ai_flags & AI_NUMERICHOST);
  int error = host::network::Lookup(name, family, numericOnly, &found);
  if (error != 0) return fail(error);
  PADDRINFOA head = nullptr;
  PADDRINFOA* tail = &head;
  for (const auto& address : found) {
    *tail = host::network::NewEntry(address, hints);
    tail = &(*tail)->ai_next;
  }
  {
    std::lock_guard<std::mutex> guard(State().lock);
    State().lists.insert(head);
  }
  *result = head;
  WSASetLastError(0);
  return 0;
}

void WINAPI freeaddrinfo(PADDRINFOA info) {
  if (!info) return;
  std::lock_guard<std::mutex> guard(State().lock);
  // Only a list as getaddrinfo returned it is freed; anything else is left alone.
  if (State().lists.erase(info) == 0) return;
  host::network::FreeList(info);
}

int WINAPI WSAEnumProtocolsW(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength) {
  HOST_ENTER("WSAEnumProtocolsW", SOCKET_ERROR);
  if (!Started()) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  if (!bufferLength) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  std::vector<host::network::Protocol> chosen;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    for (const auto& protocol : State().protocols) {
      bool wanted = !protocols;
      for (const INT* p = protocols; p && *p != 0; ++p) wanted = wanted || *p == protocol.protocol;
      if (wanted) chosen.push_back(protocol);
    }
  }
  DWORD needed = static_cast<DWORD>(chosen.size() * sizeof(WSAPROTOCOL_INFOW));
  if (!buffer || *bufferLength < needed) {
    *bufferLength = needed;
    WSASetLastError(WSAENOBUFS);
    return SOCKET_ERROR;
  }
  for (size_t i = 0; i < chosen.size(); ++i) {
    WSAPROTOCOL_INFOW record{};
    record.dwCatalogEntryId = static_cast<DWORD>(1001 + i);
    record.ProtocolChain.ChainLen = 1;
    record.iVersion = 2;
    record.iAddressFamily = chosen[i].family;
    record.iMaxSockAddr = chosen[i].family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    record.iMinSockAddr = record.iMaxSockAddr;
    record.iSocketType = chosen[i].socketType;
    record.iProtocol = chosen[i].protocol;
    record.iNetworkByteOrder = 1;
    size_t length = std::min<size_t>(chosen[i].name.size(), WSAPROTOCOL_LEN);
    std::wmemcpy(record.szProtocol, chosen[i].name.c_str(), length);
    std::memcpy(&buffer[i], &record, sizeof record);
  }
  return static_cast<int>(chosen.size());
}
