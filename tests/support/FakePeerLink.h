// An in-process peer link for unit tests: records every message the server
// sends and answers each Receive from a queue of scripted replies.
//
// Receive order: the queued replies first, one per call; once the queue is
// empty, the default reply ("OK" unless changed) for every further call.
// After NoDefaultReply() an empty queue answers "End" instead and the link
// reads as closed (Closed() is true), as when the peer has hung up.
// A queued "End" is returned like any reply and does not close the link.
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "interpreter/common/PeerLink.h"

namespace testsupport {

class FakePeerLink : public PeerLink {
 public:
  FakePeerLink() = default;
  // Queues the replies in order.
  explicit FakePeerLink(std::vector<std::string> replies);

  // Appends one reply to the queue.
  void QueueReply(const std::string& reply);
  // The reply given when the queue is empty.
  void SetDefaultReply(const std::string& reply);
  // From now on an empty queue answers "End" and closes the link.
  void NoDefaultReply();

  // Both record the text; TrySend always succeeds.
  void Send(const std::string& text) override;
  bool TrySend(const std::string& text) override;
  std::string Receive() override;
  bool Closed() const override { return closed_; }

  // Every message sent, in order.
  const std::vector<std::string>& Sent() const { return sent_; }
  // How many times Receive was called.
  int ReceiveCount() const { return receiveCount_; }
  // Replies still queued.
  std::size_t PendingReplies() const { return replies_.size(); }

 private:
  std::deque<std::string> replies_;
  std::optional<std::string> defaultReply_ = std::string("OK");
  std::vector<std::string> sent_;
  int receiveCount_ = 0;
  bool closed_ = false;
};

}  // namespace testsupport
