#include "tests/support/FakeDialogManager.h"

namespace testsupport {
namespace {
constexpr int kWaitMs = 10000;
constexpr int kTickMs = 20;
}  // namespace

FakeDialogManager::FakeDialogManager()
    : reader_([this](char* buffer, size_t size) { return ReadSome(buffer, size); }, 1 << 20) {
  listener_.Listen(0);
}

FakeDialogManager::~FakeDialogManager() {
  stop_ = true;
  platform::TcpConnection poke = platform::TcpConnection::ConnectLoopback(Port());  // ends an accept
  if (thread_.joinable()) thread_.join();
}

void FakeDialogManager::Play(std::vector<DmStep> script) {
  thread_ = std::thread(&FakeDialogManager::Run, this, std::move(script));
}

long FakeDialogManager::ReadSome(char* buffer, size_t size) {
  while (!stop_ && std::chrono::steady_clock::now() < deadline_) {
    if (link_.WaitReadable(kTickMs)) return link_.Read(buffer, size);
  }
  return -1;
}

bool FakeDialogManager::Receive(int timeoutMs) {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string message;
  if (reader_.Next(&message) != platform::MessageReader::Result::kMessage) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  received_.push_back(message);
  return true;
}

void FakeDialogManager::Run(std::vector<DmStep> script) {
  link_ = listener_.Accept(nullptr);
  bool done = !stop_;
  for (size_t i = 0; done && i < script.size(); ++i) {
    const DmStep& step = script[i];
    if (step.kind == DmStep::Kind::kAwait) done = Receive(kWaitMs);
    if (step.kind == DmStep::Kind::kSay) done = link_.SendAll(step.text.c_str(), step.text.size() + 1);
    if (step.kind == DmStep::Kind::kHang) link_.Close();
  }
  while (done && link_.IsOpen()) done = Receive(24 * 3600 * 1000);
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

std::vector<std::string> FakeDialogManager::Received() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return ended_; });
  return received_;
}

}  // namespace testsupport
