// POSIX TCP calls behind the host's Windows Sockets. Kept apart from winsock.cpp because the
// POSIX and Windows declarations of socket(), send() and friends cannot meet in one file.
// Errors are errno values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {
namespace tcp {

// A new IPv4 stream socket, or -1 with `*error`.
int Open(int* error);
void Close(int fd);
// Connects to an address and port in network byte order; 0 or an errno value.
int Connect(int fd, uint32_t address, uint16_t port);
// Sends every byte (without SIGPIPE); the count, or -1 with `*error`.
long SendAll(int fd, const void* data, size_t size, int* error);

enum : long { kTimedOut = -2 };
// Receives what is there, waiting at most `timeoutMicroseconds` (< 0: without limit) for the
// first byte. The count (0 when the peer closed), -1 with `*error`, or kTimedOut.
long Receive(int fd, void* buffer, size_t size, long long timeoutMicroseconds, int* error);

// inet_aton's forms of IPv4 text; the address in network byte order.
bool ParseIPv4(const char* text, uint32_t* address);

}  // namespace tcp
}  // namespace host
