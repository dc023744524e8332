// A fake dialog manager for tests of the hub bridge: it listens on a free
// loopback port like Quorvane, takes the bridge's one connection, plays a
// script of Quorvane's messages and records every message the bridge sends
// (framed as on the real link: text and a NUL). Steps: Await() one message
// (at most 10 s), Say(text), Hang() up. After the script it records on until
// the link closes; Received waits for that (at most 10 s).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"

namespace testsupport {

struct DmStep {
  enum class Kind { kAwait, kSay, kHang } kind;
  std::string text;
};
inline DmStep Await() { return {DmStep::Kind::kAwait, ""}; }
inline DmStep Say(std::string text) { return {DmStep::Kind::kSay, std::move(text)}; }
inline DmStep Hang() { return {DmStep::Kind::kHang, ""}; }

class FakeDialogManager {
 public:
  FakeDialogManager();
  ~FakeDialogManager();
  int Port() const { return listener_.Port(); }
  // Accepts the bridge and plays the script in a thread of its own.
  void Play(std::vector<DmStep> script);
  std::vector<std::string> Received();

 private:
  void Run(std::vector<DmStep> script);
  bool Receive(int timeoutMs);  // one message, recorded
  long ReadSome(char* buffer, size_t size);

  platform::TcpListener listener_;
  platform::TcpConnection link_;
  platform::MessageReader reader_;
  std::chrono::steady_clock::time_point deadline_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
  bool ended_ = false;
};

}  // namespace testsupport
