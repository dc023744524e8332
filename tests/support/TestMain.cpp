// The main of every test program. Death tests fork a child of a process
// that may hold script-engine threads; the threadsafe style re-runs the test
// in a fresh process instead, so such a child never waits on threads that
// only its parent has.
//
// A test whose code ends the process (a fatal path that exits with status 0)
// would otherwise pass unseen: CTest reads only the status. Outside a death
// test's own child, an exit while a test runs fails with status 1.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string runningTest;

class RunningTestListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& test) override {
    runningTest = std::string(test.test_suite_name()) + "." + test.name();
  }
  void OnTestEnd(const ::testing::TestInfo&) override { runningTest.clear(); }
};

void FailAnExitWhileATestRuns() {
  if (runningTest.empty()) return;
  const std::string text = "\nThe test " + runningTest + " ended its process before it finished\n";
  (void)!write(STDERR_FILENO, text.data(), text.size());
  _exit(1);
}

bool IsDeathTestChild(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  const bool deathTestChild = IsDeathTestChild(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (!deathTestChild) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new RunningTestListener);
    std::atexit(FailAnExitWhileATestRuns);
  }
  return RUN_ALL_TESTS();
}
