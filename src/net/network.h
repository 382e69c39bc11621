// The network service behind address validation and host resolution: it loads the IP helper and
// ICMP libraries, takes a few facts about the local network from them and starts the socket
// library. Beside it, host resolution: a host text to an IPAddress, IPv4 first, then IPv6.
#pragma once

#include <array>
#include <string>

#include "net/ip_address.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

class Network {
 public:
  static constexpr size_t kLocalAddressTexts = 10;

  // Writes "Network singleton created", loads "iphlpapi.dll" and "icmp.dll" and runs Start
  // (whose result it does not examine).
  Network();
  // Closes the ICMP handles, frees the address table, stops the socket library once for its
  // start, and frees the libraries.
  virtual ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  // The start-up sequence: 0, or 8 when the socket library did not start. Running it again
  // first releases what the previous run took.
  int Start();
  // An entry point of iphlpapi.dll, else of icmp.dll; null when not found (icmp.dll is not
  // tried without iphlpapi.dll).
  FARPROC FindEntryPoint(const char* name) const;

  DWORD interfaceCount() const { return interfaceCount_; }
  HANDLE icmpHandle() const { return icmpHandle_; }
  HANDLE icmp6Handle() const { return icmp6Handle_; }
  DWORD addrTableSize() const { return addrTableSize_; }
  const MIB_IPADDRTABLE* addrTable() const { return static_cast<const MIB_IPADDRTABLE*>(addrTable_.get()); }
  DWORD addrTableResult() const { return addrTableResult_; }
  const std::wstring& localAddressText(size_t index) const { return localAddressText_.at(index); }

 private:
  void Release();
  void ReadAddressTable();

  platform::UniqueLibrary icmpLibrary_;
  platform::UniqueLibrary iphlpapiLibrary_;
  HANDLE icmpHandle_ = nullptr;
  HANDLE icmp6Handle_ = nullptr;
  DWORD interfaceCount_ = 0;
  DWORD addrTableSize_ = 0;
  std::array<std::wstring, kLocalAddressTexts> localAddressText_;
  platform::UniqueGlobalMemory addrTable_;
  DWORD addrTableResult_ = 0;
  bool socketsStarted_ = false;
};

// Resolves `host` (empty: the computer's own name) and assigns its first address to `address`
// when that address is valid. IPv4 is tried first when installed, then IPv6. 0 when resolved and
// converted; 1 when an attempt or the protocol enumeration failed; 11 when IPv6 is not installed
// after IPv4 failed or was not installed.
int GetIpAddrFromHostName(const std::wstring& host, IPAddress& address);
// One attempt for one address family: 0 or 1.
int GetIpAddrFromHostName(const std::wstring& host, IPAddress& address, bool blIpv6);

// 0 when a protocol of `family` is installed, 11 when none is, 1 when the enumeration failed.
int IsProtocolInstalled(int family);
// True on version 5.1 with service pack 2.0 or later.
bool OsSupportsIcmp6();
