// Test-facing control of the host's Windows Sockets: which version WSAStartup grants, how the
// start-ups are counted, which time-outs the program set, a peer that stops reading, and how long
// a time-out really waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "winhost/base.h"

namespace host {
namespace sockets {

// The version WSAStartup reports as granted; 0 (the default) follows Windows: the version asked
// for, at most 2.2.
void SetGrantedVersion(WORD version);

// WSAStartup calls not yet matched by a WSACleanup.
int StartCount();
// Sockets open right now.
int OpenSocketCount();
// Every SO_RCVTIMEO / SO_SNDTIMEO value the program set, in order (milliseconds).
std::vector<DWORD> ReceiveTimeouts();
std::vector<DWORD> SendTimeouts();

// Every connection's peer takes this many bytes in all, then stops reading as if its and our
// buffers were full: further sends block until their send time-out (a send without one aborts
// the test, since Windows would block for good). nullopt (the default): no such peer.
void StallSendsAfter(std::optional<size_t> bytes);

// A receive time-out advances the host clock by its full length and is recorded as a wait of
// "recv" (likewise "send", "select", and "connect" for a blocking connect that is given up). In real time it waits the compressed length (host/clock.h), but never less than this
// floor: a printer thread that answers at once must not lose the race against a compressed
// time-out on a loaded machine. Default 1000 ms.
void SetMinimumRealWait(std::chrono::milliseconds floor);

}  // namespace sockets
}  // namespace host
