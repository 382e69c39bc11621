// Windows Sockets of the simulated host: the types, constants and calls of winsock2.h that the
// program uses. Sockets are real TCP sockets on the loopback network underneath (see host/sockets.h).
//
// Deliberate differences from Windows: only IPv4 stream sockets exist; a connection can reach
// only 127.0.0.0/8 (the simulated machine has no other network, so tests never leave the box);
// u_long is not declared, because glibc declares its own 64-bit u_long: use ULONG; struct timeval
// is glibc's (the same members, 64 bits wide); glibc's own fd_set, FD_ macros and select are
// visible through the C library's headers, so the Windows fd_set and select below are named
// through macros (else a select with null sets would quietly call glibc's).
#pragma once

#include <sys/select.h>  // glibc's fd_set and FD_ macros, parsed before they are replaced below

#include "winhost/base.h"

extern "C++" {

#ifndef MAKEWORD
#define MAKEWORD(low, high) ((WORD)(((BYTE)((DWORD_PTR)(low)&0xff)) | ((WORD)((BYTE)((DWORD_PTR)(high)&0xff))) << 8))
#endif
#ifndef LOBYTE
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#endif
#ifndef HIBYTE
#define HIBYTE(w) ((BYTE)((((DWORD_PTR)(w)) >> 8) & 0xff))
#endif

typedef UINT_PTR SOCKET;
typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define SOL_SOCKET 0xffff
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007

#define FIONBIO 0x8004667EL

#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK ((ULONG)0x7f000001)
#define INADDR_NONE ((ULONG)0xffffffff)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

// Layout of the 64-bit SDK.
typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

typedef struct in_addr {
  union {
    struct {
      u_char s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      u_short s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
#define s_addr S_un.S_addr

typedef struct sockaddr {
  u_short sa_family;
  char sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
  short sin_family;
  u_short sin_port;
  struct in_addr sin_addr;
  char sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;

// Windows Sockets error codes (WSAGetLastError).
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAECONNABORTED 10053L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAEHOSTUNREACH 10065L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L

// The Windows fd_set: a count and an array of sockets (not a bit mask).
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ZERO
#undef FD_ISSET
#define FD_SETSIZE 64
struct WinsockFdSet {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
};
#define fd_set WinsockFdSet
int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set);
inline void WinsockFdAdd(SOCKET s, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == s) return;
  }
  if (set->fd_count < FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}
inline void WinsockFdRemove(SOCKET s, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] != s) continue;
    set->fd_array[i] = set->fd_array[--set->fd_count];
    return;
  }
}
#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_SET(s, set) WinsockFdAdd((SOCKET)(s), (fd_set*)(set))
#define FD_CLR(s, set) WinsockFdRemove((SOCKET)(s), (fd_set*)(set))
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))

// Start-up: the granted version is the one asked for, at most 2.2 (host/sockets.h can choose
// another). Every successful WSAStartup needs its WSACleanup; the last WSACleanup closes the
// sockets still open.
int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data);
int WINAPI WSACleanup();
int WINAPI WSAGetLastError();
void WINAPI WSASetLastError(int error);

SOCKET WINAPI socket(int af, int type, int protocol);
int WINAPI closesocket(SOCKET s);
// SO_RCVTIMEO and SO_SNDTIMEO take a DWORD of milliseconds (0: wait without limit); both run on
// the host clock. A send that times out fails with WSAETIMEDOUT and leaves the connection
// unusable, as on Windows: every later send or receive fails with WSAECONNABORTED.
int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
// SO_ERROR (an int, read and cleared: a failed connect's error), SO_RCVTIMEO and SO_SNDTIMEO.
int WINAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
// FIONBIO only: a nonzero value makes the socket non-blocking.
int WINAPI ioctlsocket(SOCKET s, long cmd, ULONG* argp);
// A blocking connect waits for the handshake; to an endpoint that never answers it gives up after
// Windows' SYN retransmissions (21 s on the host clock) with WSAETIMEDOUT. A non-blocking connect
// returns WSAEWOULDBLOCK, even when it is refused at once; select then reports the socket writable
// once connected, or in exceptfds when the attempt failed (SO_ERROR tells why).
int WINAPI connect(SOCKET s, const struct sockaddr* name, int namelen);
// A blocking send returns when all of `buf` is in the buffers; a peer that stops reading blocks it
// once its and our buffers are full (the send time-out ends the wait). Non-blocking: what fits, or
// WSAEWOULDBLOCK.
int WINAPI send(SOCKET s, const char* buf, int len, int flags);
// Waits at most `timeout` (on the host clock; null: without limit) until a socket of the sets is
// readable, writable or has a failed connect; leaves only those in the sets and returns their
// count, 0 on the time-out. `nfds` is ignored, as on Windows.
#define select WinsockSelect
int WINAPI select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const struct timeval* timeout);
// recv returns what has arrived, up to `len` bytes; like any other, a receive of zero bytes waits
// until data is there (or the time-out, or the peer's close).
int WINAPI recv(SOCKET s, char* buf, int len, int flags);

// Dotted IPv4 text in the forms a.b.c.d, a.b.c, a.b and a (parts decimal, octal or hex), ending
// at the terminator or at white space, in network byte order; a single space is 0; INADDR_NONE
// for anything else, including the empty text, and null (which sets WSAEFAULT).
ULONG WINAPI inet_addr(const char* cp);
u_short WINAPI htons(u_short hostshort);
u_short WINAPI ntohs(u_short netshort);
ULONG WINAPI htonl(ULONG hostlong);

}  // extern "C++"
