// POSIX TCP calls behind the host's Windows Sockets. Kept apart from winsock.cpp because the
// POSIX and Windows declarations of socket(), send() and friends cannot meet in one file.
// Every descriptor is non-blocking: the Windows layer does the waiting itself, on the host clock.
// Errors are errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host {
namespace tcp {

// The send buffer of every socket, fixed at about Windows' default of 64 KiB rather than tuned by
// Linux up to megabytes, so a peer that stops reading blocks a send after about as many bytes as
// on Windows. Linux doubles the size it is given (for its own bookkeeping).
constexpr int kSendBufferBytes = 32 * 1024;

// A new non-blocking IPv4 stream socket, or -1 with `*error`.
int Open(int* error);
void Close(int fd);
// Starts connecting to an address and port in network byte order: 0 when connected at once,
// EINPROGRESS while the handshake runs, or another errno value.
int StartConnect(int fd, uint32_t address, uint16_t port);
// The socket's pending error (SO_ERROR), cleared by reading it.
int PendingError(int fd);

enum : long { kTimedOut = -2, kWouldBlock = -3 };
// Sends what fits now (without SIGPIPE): the count, kWouldBlock, or -1 with `*error`.
long SendSome(int fd, const void* data, size_t size, int* error);
// Receives what is there, waiting at most `timeoutMicroseconds` (< 0: without limit) for the
// first byte. The count (0 when the peer closed), -1 with `*error`, or kTimedOut.
long Receive(int fd, void* buffer, size_t size, long long timeoutMicroseconds, int* error);

// What poll reports for one descriptor.
struct Readiness {
  int fd;
  bool wantRead = false;
  bool wantWrite = false;
  bool readable = false;  // data, the peer's FIN or an error
  bool writable = false;  // room in the send buffer, or a finished (or failed) connect
  bool failed = false;    // an error or a hang-up
};
// Polls the descriptors for at most `timeoutMicroseconds` (< 0: without limit; 0: a look only);
// false when nothing became ready in time.
bool Poll(std::vector<Readiness>* entries, long long timeoutMicroseconds);

// inet_aton's forms of IPv4 text; the address in network byte order.
bool ParseIPv4(const char* text, uint32_t* address);

}  // namespace tcp
}  // namespace host
