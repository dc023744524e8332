#include "tests/libhub/util/HubTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "libhub/util/Statics.h"

namespace hubtest {

Watchdog::Watchdog(int timeoutMs)
    : thread_([this, timeoutMs] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return finished_; })) {
          fprintf(stderr, "watchdog: the test did not finish within %d ms\n", timeoutMs);
          fflush(stderr);
          _Exit(3);
        }
      }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

namespace {

class HubEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Hub_InitializeStatics();
  }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new HubEnvironment);

}  // namespace

}  // namespace hubtest
