#include "tests/libhub/util/HubTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/Print.h"

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

CaptureConsole::CaptureConsole() {
  HubUtil_PrintFlush();
  capture_.emplace();
}

std::string CaptureConsole::Take() {
  HubUtil_PrintFlush();
  return capture_->Take();
}

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

std::string Usage(const std::string& program) {
  return "\nUsage: " + program + " [Options]\n\n" +
         "  Options:\n"
         "    -port port: run as a server, listening for client connections on this port\n"
         "    -assert: exit unhappily if we fail to get the desired port\n"
         "    -color: enable color printing in a cxterm\n"
         "    -thread: use threads instead of timed tasks (experimental)\n"
         "    -nottloop: do not use the timed_tasks_loop mechanism\n"
         "    -ttloop: obsolete -- maintained for compatibility only\n"
         "    -maxconns max: maximum number of connections for ttloop (default 1)\n"
         "    -validate: validate each message send and return against the message signature\n"
         "    -verbosity level: set the verbosity of this server\n"
         "    -contact_hub \"host:port...\": run as client, contacting Hubs at the specified host "
         "and port pairs (overrides default port setting, but not -port)\n"
         "    -server_locations_file file: a file of lines server host:port [hub|server]\n"
         "    -slf_name name: if -server_locations_file is used, optional file index\n"
         "    -session_id id: if -contact_hub is used, lock this client to the specified Hub "
         "session\n"
         "    -help: print this usage line\n"
         "\n";
}

}  // namespace hubtest
