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
// the test, since Windows would block for good), and select never shows the socket writable.
// nullopt (the default): no such peer.
//
// A send or receive that times out leaves the socket unusable, as Windows documents its state as
// indeterminate then: every later send and receive on it fails with WSAECONNABORTED.
void StallSendsAfter(std::optional<size_t> bytes);

// A peer that pauses: once a connection's sends have reached `atByte` bytes in all, its peer
// takes nothing more for `pauseMs` of host clock (then reads on as before), as a printer that
// stops now and then to write its flash. Every connection follows the whole table, in order. A
// blocking send waits for the peer on the host clock, within its send time-out (which counts
// from the start of the call: two pauses in one call add up); a non-blocking send takes what
// comes before the pause; select shows the socket writable again when the pause ends within
// its time-out.
struct PeerPause {
  size_t atByte;
  DWORD pauseMs;
};
void PausePeerReading(std::vector<PeerPause> pauses);

// Winsock may take fewer bytes than asked from a send: the send call `callsFromNow` calls from
// now (0: the next one) takes only half of its length (a length of 1 stays whole).
void ShortenSend(int callsFromNow);

// A receive time-out advances the host clock by its full length and is recorded as a wait of
// "recv" (likewise "send", "select", and "connect" for a blocking connect that is given up). In real time it waits the compressed length (host/clock.h), but never less than this
// floor: a printer thread that answers at once must not lose the race against a compressed
// time-out on a loaded machine. Default 1000 ms.
void SetMinimumRealWait(std::chrono::milliseconds floor);

}  // namespace sockets
}  // namespace host
