// Name resolution and address texts of the simulated host's Windows Sockets (ws2tcpip.h and the
// parts of winsock2.h beside it): IPv6 socket addresses, getaddrinfo, gethostname, the catalogue
// of installed protocols, and the conversions between socket addresses and their texts.
// What the name service answers is set through host/network.h.
#pragma once

#include "winhost/base.h"
#include "winhost/guiddef.h"
#include "winhost/winsock.h"

extern "C++" {

// Name service and catalogue errors.
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L

#define AI_NUMERICHOST 0x04

typedef struct in6_addr {
  union {
    u_char Byte[16];
    u_short Word[8];
  } u;
} IN6_ADDR, *PIN6_ADDR, *LPIN6_ADDR;

typedef struct sockaddr_in6 {
  short sin6_family;
  u_short sin6_port;
  ULONG sin6_flowinfo;
  struct in6_addr sin6_addr;
  ULONG sin6_scope_id;
} SOCKADDR_IN6, *PSOCKADDR_IN6, *LPSOCKADDR_IN6;

typedef struct addrinfo {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  size_t ai_addrlen;
  char* ai_canonname;
  struct sockaddr* ai_addr;
  struct addrinfo* ai_next;
} ADDRINFOA, *PADDRINFOA;

#define MAX_PROTOCOL_CHAIN 7
#define WSAPROTOCOL_LEN 255

typedef struct _WSAPROTOCOLCHAIN {
  int ChainLen;
  DWORD ChainEntries[MAX_PROTOCOL_CHAIN];
} WSAPROTOCOLCHAIN, *LPWSAPROTOCOLCHAIN;

// 628 bytes on Windows, where WCHAR has 2 bytes.
typedef struct _WSAPROTOCOL_INFOW {
  DWORD dwServiceFlags1;
  DWORD dwServiceFlags2;
  DWORD dwServiceFlags3;
  DWORD dwServiceFlags4;
  DWORD dwProviderFlags;
  GUID ProviderId;
  DWORD dwCatalogEntryId;
  WSAPROTOCOLCHAIN ProtocolChain;
  int iVersion;
  int iAddressFamily;
  int iMaxSockAddr;
  int iMinSockAddr;
  int iSocketType;
  int iProtocol;
  int iProtocolMaxOffset;
  int iNetworkByteOrder;
  int iSecurityScheme;
  DWORD dwMessageSize;
  DWORD dwProviderReserved;
  WCHAR szProtocol[WSAPROTOCOL_LEN + 1];
} WSAPROTOCOL_INFOW, *LPWSAPROTOCOL_INFOW;

typedef INT* LPINT;

// The computer's host name. A buffer too small for the whole name fails with WSAEFAULT.
int WINAPI gethostname(char* name, int namelen);

// Resolves `node` through the host's name service (or as a numeric address text) into a list of
// socket addresses of the family the hints ask for (AF_UNSPEC: both). The empty node is the
// computer's own name. Returns 0 or the error code, which is also the thread's last error.
int WINAPI getaddrinfo(const char* node, const char* service, const ADDRINFOA* hints, PADDRINFOA* result);
void WINAPI freeaddrinfo(PADDRINFOA info);

// The installed protocols (no filter when `protocols` is null). A buffer smaller than all the
// records fails with WSAENOBUFS and `bufferLength` set to the size needed.
int WINAPI WSAEnumProtocolsW(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD bufferLength);

// Numeric text of an IPv4 or IPv6 socket address: "a.b.c.d" or "a.b.c.d:port"; an IPv6 address
// with "%scope" when its scope is not zero, in brackets followed by ":port" when the port is not
// zero. `length` is in characters, terminator included; a buffer too small fails with WSAEFAULT
// and `length` set to the size needed.
INT WINAPI WSAAddressToStringW(LPSOCKADDR address, DWORD addressLength, LPWSAPROTOCOL_INFOW info,
                               LPWSTR text, LPDWORD length);
// The reverse: "a.b.c.d[:port]" for AF_INET; "addr", "addr%scope", "[addr]", "[addr%scope]:port"
// for AF_INET6. Anything else fails with WSAEINVAL.
INT WINAPI WSAStringToAddressW(LPWSTR text, INT family, LPWSAPROTOCOL_INFOW info, LPSOCKADDR address,
                               LPINT addressLength);

// Dotted text of an IPv4 address, in a buffer of the calling thread that the next call reuses.
char* WINAPI inet_ntoa(struct in_addr address);

}  // extern "C++"
