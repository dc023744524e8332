// Tests of the hub bridge run the real Tressig between a fake dialog manager
// (a script of Quorvane's messages) and a fake hub, in a fresh directory.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/FakeDialogManager.h"
#include "tests/support/FakeHub.h"
#include "tests/support/FreePort.h"
#include "tests/support/PollUntil.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestNames.h"

namespace bridgetest {

using testsupport::Await;
using testsupport::DmStep;
using testsupport::FrameKeys;
using testsupport::Say;
using Words = std::vector<std::string>;

constexpr int kWaitMs = 10000;

using testsupport::PollUntil;
using testsupport::TitleName;

class BridgeTest : public testsupport::TempDirTest {
 protected:
  // Plays the script and starts Tressig on it (Launch).
  void Start(std::vector<DmStep> script, const Words& options = {}, bool contacted = false) {
    dm_.Play(std::move(script));
    Launch(dm_.Port(), options, contacted);
  }
  // Starts Tressig on the dialog manager's port and connects the hub to it,
  // or, `contacted`, lets Tressig contact the hub. With a console file,
  // Tressig's standard output goes there instead of to Finish's result.
  void Launch(int dmPort, const Words& options, bool contacted,
              const std::string& consoleFile = "") {
    contacted_ = contacted;
    port_ = contacted ? hub_.Listen() : testsupport::FreePort();
    Words argv = {testsupport::BinPath("Tressig"), "-PORT", std::to_string(dmPort),
                  contacted ? "-contact_hub" : "-port",
                  (contacted ? "127.0.0.1:" : "") + std::to_string(port_)};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!consoleFile.empty()) {
      argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + consoleFile});
    }
    bridge_ = std::make_unique<testsupport::BackgroundChild>(argv);
    ASSERT_TRUE(Connect());
  }
  // The hub connects again (or is contacted again): true once connected.
  bool Connect() {
    auto connect = [&] { return hub_.ConnectToServer(port_, kWaitMs); };
    return contacted_ ? hub_.AcceptServer(kWaitMs) : PollUntil(kWaitMs, connect);
  }
  void Call(const std::string& operation, const FrameKeys& keys = {}) {
    hub_.Call(operation, keys, kWaitMs);
  }
  // The frames the bridge sent, as `name :key "text" :key 1`, from the
  // `from`-th on (not its handshake, named after the server).
  Words Frames(size_t from = 0) {
    Words frames;
    for (const testsupport::ReceivedFrame& frame : hub_.Received()) {
      if (frame.messageType != HUB_MESSAGE_MSG_TYPE || frame.name == "DM") continue;
      frames.push_back(testsupport::FrameLine(frame));
    }
    return Words(frames.begin() + std::min(from, frames.size()), frames.end());
  }
  testsupport::ChildResult Finish() { return bridge_->Wait(kWaitMs); }

  testsupport::FakeDialogManager dm_;
  testsupport::FakeHub hub_;
  std::unique_ptr<testsupport::BackgroundChild> bridge_;
  bool contacted_ = false;
  int port_ = 0;  // where the hub reaches Tressig, or Tressig the hub
};

}  // namespace bridgetest
