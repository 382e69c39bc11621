// Test-facing control of the simulated machine's network services: the name service behind
// getaddrinfo, the computer's host name, the installed protocols, the IP helper's interface count
// and IPv4 address table, and the ICMP handles. A fresh machine:
//   - is called "WORKSTATION"; the name service knows it (192.168.1.20) and "localhost"
//     (127.0.0.1, then ::1);
//   - has IPv4 and IPv6 installed (a TCP and a UDP record for each);
//   - has 2 interfaces and the local addresses 127.0.0.1 and 192.168.1.20.
#pragma once

#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {
namespace network {

// The computer's host name as gethostname reports it.
void SetComputerName(const std::string& name);

// `name` (matched without regard to case) resolves to these address texts, in this order:
// dotted IPv4 texts and IPv6 texts, the latter with an optional "%scope". Replaces what the name
// service knew of the name. A name known only with addresses of the other family answers
// WSAHOST_NOT_FOUND for a family it lacks.
void SetHostAddresses(const std::string& name, const std::vector<std::string>& addresses);
// A look-up of `name` fails with `error` (for example WSATRY_AGAIN).
void SetHostFailure(const std::string& name, int error);
// Forgets every name, the computer's own included.
void ClearNames();

// One record of the protocol catalogue.
struct Protocol {
  int family;
  int socketType;
  int protocol;
  std::wstring name;
};
void SetInstalledProtocols(const std::vector<Protocol>& protocols);
// A TCP and a UDP record for each family, in the order given.
void SetInstalledFamilies(const std::vector<int>& families);

void SetInterfaceCount(DWORD count);
// The IPv4 address table of the IP helper, rows in this order (dotted texts).
void SetLocalAddresses(const std::vector<std::string>& addresses);

// ICMP handles open right now (IcmpCreateFile / Icmp6CreateFile minus IcmpCloseHandle).
int OpenIcmpHandles();

}  // namespace network
}  // namespace host
