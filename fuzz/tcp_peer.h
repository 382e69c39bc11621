// A scripted network printer on a loopback address of the fuzz process's own: each accepted
// connection takes the next connection script (the reply bytes in pieces, then how the
// connection ends). Plain POSIX sockets, apart from the simulated host the program runs on.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace fuzzing {

struct PeerConnection {
  enum End { kClose, kHold, kReset };
  std::vector<std::string> pieces;  // sent at once after the accept, a short pause between them
  End end = kClose;                 // kHold: stays open until the program closes its end
};

class ScriptedPeer {
 public:
  // The peer of this process, listening from the first call on.
  static ScriptedPeer& Instance();
  // The dotted address it listens on (port 9100).
  virtual const std::string& Address() const = 0;
  // Scripts of the next connections; connections beyond them are closed at once.
  virtual void Load(std::deque<PeerConnection> connections) = 0;
  // Waits (at most two seconds) until `connections` connections have been served to their end.
  virtual void WaitServed(int connections) = 0;

 protected:
  ~ScriptedPeer() = default;
};

}  // namespace fuzzing
