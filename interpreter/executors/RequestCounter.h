// The peer link as the interpreter's members use it: every call goes on to
// the real link, and the messages sent are counted, so that the form loop can
// tell whether its passes still ask the peer anything.
#pragma once
#include <string>

#include "interpreter/common/PeerLink.h"

class RequestCounter : public PeerLink {
 public:
  // The link must outlive the counter.
  explicit RequestCounter(PeerLink& link) : link_(link) {}

  void Send(const std::string& text) override {
    ++sent_;
    link_.Send(text);
  }
  bool TrySend(const std::string& text) override {
    ++sent_;
    return link_.TrySend(text);
  }
  std::string Receive() override { return link_.Receive(); }
  bool Closed() const override { return link_.Closed(); }

  // Messages sent so far, failed ones included.
  long long Sent() const { return sent_; }

 private:
  PeerLink& link_;
  long long sent_ = 0;
};
