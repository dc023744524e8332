#include "tests/support/ScriptedPeerLink.h"

#include <iostream>

#include "interpreter/common/FatalExit.h"

namespace testsupport {

ScriptedPeerLink::ScriptedPeerLink(const PeerScript& script) : answers_(script) {
  for (const PeerStep& step : script.steps) {
    if (step.kind == PeerStep::Kind::kClose) {
      hungUp_ = true;
      break;
    }
    if (step.kind == PeerStep::Kind::kSend) incoming_.push_back(step.text);
  }
}

void ScriptedPeerLink::Send(const std::string& text) {
  if (TrySend(text)) return;
  std::cerr << "Problem s odeslanim dat" << std::endl;
  quorvane::FatalExit("", 0);
}

bool ScriptedPeerLink::TrySend(const std::string& text) {
  if (failSends_ || closed_) return false;
  sent_.push_back(text);
  if (hungUp_) return true;
  PeerAction action = answers_.OnMessage(text);
  if (action.kind == PeerAction::Kind::kReply) incoming_.push_back(action.reply);
  if (action.kind == PeerAction::Kind::kHangUp) hungUp_ = true;
  return true;
}

std::string ScriptedPeerLink::Receive() {
  if (incoming_.empty()) {
    closed_ = true;
    return "End";
  }
  std::string message = incoming_.front();
  incoming_.pop_front();
  return message;
}

}  // namespace testsupport
