// An in-process stand-in for the server's peer link, played from a peer
// script (format in ScriptedPeer.h): the script's "send" messages are what
// the server receives first; every message the server sends is recorded and
// answered as the scripted peer would answer it. When nothing is left to
// receive, or a "hangup" line or "close" step is reached, the link reads as
// closed ("End"). "wait" steps are ignored.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "interpreter/common/PeerLink.h"
#include "tests/support/ScriptedPeer.h"

namespace testsupport {

class ScriptedPeerLink : public PeerLink {
 public:
  explicit ScriptedPeerLink(const PeerScript& script);

  // A failed send makes Send end the process as the socket link does.
  void Send(const std::string& text) override;
  bool TrySend(const std::string& text) override;
  std::string Receive() override;
  bool Closed() const override { return closed_; }

  // From now on every send fails.
  void FailSends() { failSends_ = true; }
  // Every message the server sent, in order.
  const std::vector<std::string>& Sent() const { return sent_; }

 private:
  PeerAnswers answers_;
  std::deque<std::string> incoming_;
  bool hungUp_ = false;  // the peer closes once incoming_ is empty
  bool closed_ = false;
  bool failSends_ = false;
  std::vector<std::string> sent_;
};

}  // namespace testsupport
