#include "tests/support/FakePeerLink.h"

#include <utility>

namespace testsupport {

FakePeerLink::FakePeerLink(std::vector<std::string> replies)
    : replies_(std::make_move_iterator(replies.begin()), std::make_move_iterator(replies.end())) {}

void FakePeerLink::QueueReply(const std::string& reply) { replies_.push_back(reply); }

void FakePeerLink::SetDefaultReply(const std::string& reply) { defaultReply_ = reply; }

void FakePeerLink::NoDefaultReply() { defaultReply_.reset(); }

void FakePeerLink::Send(const std::string& text) { sent_.push_back(text); }

bool FakePeerLink::TrySend(const std::string& text) {
  sent_.push_back(text);
  return true;
}

std::string FakePeerLink::Receive() {
  ++receiveCount_;
  if (!replies_.empty()) {
    std::string reply = std::move(replies_.front());
    replies_.pop_front();
    return reply;
  }
  if (defaultReply_) return *defaultReply_;
  closed_ = true;
  return "End";
}

}  // namespace testsupport
