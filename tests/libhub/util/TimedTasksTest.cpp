// The timed-task loop: task order, re-arming, run-once, socket readiness, the
// regressions of the loop (a self-re-arming task starving the rest, the lock
// held while the loop sleeps), stopping, the list limit, and thread mode.
// Every test runs under a watchdog; each leaves the task list empty, the loop
// idle and thread mode off.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "libhub/util/TimedTasks.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace {

using hubtest::WaitUntil;
using hubtest::Watchdog;

const int kWatchdogMs = 20000;

// ---- probes: task data that records what happens to its task ----

std::mutex g_logMutex;
std::vector<std::string> g_log;

void Log(const std::string& entry) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.push_back(entry);
}

std::vector<std::string> TakeLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  std::vector<std::string> log;
  log.swap(g_log);
  return log;
}

struct Probe {
  std::string name;
  int rearms = 0;       // how often the task re-arms itself
  int rearmDelay = 0;
  HubUtil_Socket* readSocket = nullptr;  // kept when re-arming
  HubUtil_Socket* writeSocket = nullptr;
  Hub_TaskPollFunction poll = nullptr;          // kept when re-arming
  std::function<void(Hub_TimedTask*)> action;  // runs before the re-arming
  std::atomic<int> runs{0};
  std::atomic<int> cleanups{0};
  std::atomic<int> lastReason{0};
  std::atomic<int> thread{0};
};

void CountCleanup(void* data) { ++static_cast<Probe*>(data)->cleanups; }

void RunProbe(Hub_TimedTask* task) {
  auto* probe = static_cast<Probe*>(Hub_TaskData(task));
  probe->lastReason = Hub_TaskReason(task);
  probe->thread = HubUtil_CurrentThreadId();
  Log(probe->name);
  if (probe->action) probe->action(task);
  if (++probe->runs <= probe->rearms) {
    Hub_RearmTask(task, probe, probe->rearmDelay, Hub_TaskRunAtOnce(task), probe->readSocket,
                  probe->writeSocket, nullptr, nullptr, nullptr, nullptr, probe->poll,
                  CountCleanup);
  }
}

Hub_TimedTask* Create(Probe* probe, int delay, int runAtOnce = 0) {
  return Hub_CreateTimedTask(RunProbe, probe, delay, runAtOnce, probe->readSocket,
                             probe->writeSocket, nullptr, nullptr, nullptr, nullptr, probe->poll,
                             CountCleanup);
}

// A task that stops the loop (immediately when its data is non-null).
void StopLoop(Hub_TimedTask* task) {
  Log("stop");
  Hub_StopTimedTaskLoop(Hub_TaskData(task) != nullptr);
}
void ScheduleStop(int delay, bool immediately = false) {
  ASSERT_NE(Hub_CreateTask(StopLoop, immediately ? &g_log : nullptr, delay, 0, nullptr), nullptr);
}

int ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - since)
                              .count());
}

// Runs the loop in the calling thread: how long it ran, in milliseconds.
int RunLoop() {
  auto start = std::chrono::steady_clock::now();
  Hub_RunTimedTaskLoop();
  return ElapsedMs(start);
}

// Runs the loop in a thread of its own and waits for it to end by itself:
// true when it did; otherwise it is stopped at once and false.
bool LoopEndsByItself(int timeoutMs = 5000) {
  std::atomic<bool> ended{false};
  std::thread loop([&ended] {
    Hub_RunTimedTaskLoop();
    ended = true;
  });
  bool byItself = WaitUntil([&ended] { return ended.load(); }, timeoutMs);
  while (!ended) {
    Hub_StopTimedTaskLoop(1);
    std::this_thread::yield();
  }
  loop.join();
  return byItself;
}

// A thread that has ended is no longer registered.
bool ThreadEnded(int thread) { return HubUtil_ThreadCancelState(thread) == -1; }

class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0); }
  ~SocketPair() {
    close(ends_[0]);
    if (ends_[1] >= 0) close(ends_[1]);
  }
  HubUtil_Socket* Near() { return &ends_[0]; }
  void SendFromFar() { ASSERT_EQ(write(ends_[1], "x", 1), 1); }
  void CloseFar() {
    close(ends_[1]);
    ends_[1] = -1;
  }

 private:
  int ends_[2] = {-1, -1};
};

class TimedTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HubUtil_SetVerbosity(3);
    TakeLog();
  }
  Watchdog watchdog_{kWatchdogMs};
};

// ---- order of due tasks ----

struct OrderCase {
  std::vector<int> delays;  // of the tasks a, b, c, ... made in this order
  std::vector<std::string> expected;
};

TEST_F(TimedTaskTest, DueTasksRunByDueTimeAndEqualOnesInOrderOfScheduling) {
  const OrderCase cases[] = {
      {{30, 10, 20}, {"b", "c", "a", "stop"}},
      {{0, 0, 0}, {"a", "b", "c", "stop"}},
      {{10, 0, 10, 0}, {"b", "d", "a", "c", "stop"}},
      {{5, 5, 0, 5, 5}, {"c", "a", "b", "d", "e", "stop"}},
  };
  for (const OrderCase& c : cases) {
    std::vector<Probe> probes(c.delays.size());
    for (size_t i = 0; i < probes.size(); ++i) {
      probes[i].name = std::string(1, static_cast<char>('a' + i));
      Create(&probes[i], c.delays[i]);
    }
    ScheduleStop(100);
    RunLoop();
    EXPECT_EQ(TakeLog(), c.expected) << "first delay " << c.delays[0];
    for (const Probe& probe : probes) EXPECT_EQ(probe.cleanups, 1) << probe.name;
  }
}

TEST_F(TimedTaskTest, SleepsUntilTheNextDueTimeWithoutSockets) {
  Probe probe;
  probe.name = "late";
  auto start = std::chrono::steady_clock::now();
  int ranAfter = -1;
  probe.action = [&](Hub_TimedTask*) {
    ranAfter = ElapsedMs(start);
    Hub_StopTimedTaskLoop(0);
  };
  Create(&probe, 300);
  EXPECT_TRUE(LoopEndsByItself());
  EXPECT_GE(ranAfter, 295);  // never early
  EXPECT_EQ(probe.lastReason, HUB_TASK_TIMER);
}

// ---- run once, re-arming ----

TEST_F(TimedTaskTest, ATaskRunsOncePerSchedulingAndIsReleasedOnceWhenNotRearmed) {
  const struct {
    int rearms;
    int delay;
  } cases[] = {{0, 0}, {1, 0}, {4, 0}, {3, 15}};
  for (const auto& c : cases) {
    Probe probe;
    probe.name = "p";
    probe.rearms = c.rearms;
    probe.rearmDelay = c.delay;
    probe.action = [&probe](Hub_TimedTask*) {
      if (probe.runs == probe.rearms) Hub_StopTimedTaskLoop(0);  // the last run
    };
    Create(&probe, 0);
    RunLoop();
    EXPECT_EQ(probe.runs, c.rearms + 1) << "re-arms " << c.rearms;
    EXPECT_EQ(probe.cleanups, 1) << "re-arms " << c.rearms;
    EXPECT_EQ(probe.lastReason, HUB_TASK_TIMER);
    EXPECT_EQ(TakeLog(), std::vector<std::string>(c.rearms + 1, "p"));
  }
}

int g_nullDataCleanups = 0;
void CountNullCleanup(void*) { ++g_nullDataCleanups; }
void DoNothing(Hub_TimedTask*) {}

TEST_F(TimedTaskTest, TheDataCleanupIsNotCalledWithoutData) {
  g_nullDataCleanups = 0;
  Hub_CreateTask(DoNothing, nullptr, 0, 0, CountNullCleanup);
  ScheduleStop(20);
  RunLoop();
  EXPECT_EQ(g_nullDataCleanups, 0);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"stop"});
}

TEST_F(TimedTaskTest, ATaskMadeWithoutDelayRunsOnlyOnceRearmed) {
  Probe parked;
  parked.name = "parked";
  Hub_TimedTask* task = Create(&parked, -1);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(Hub_RemoveTimedTask(task), 0);  // not in the list
  ScheduleStop(50);
  RunLoop();
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"stop"});
  EXPECT_EQ(parked.runs, 0);

  Probe arming;
  arming.name = "arm";
  arming.action = [task, &parked](Hub_TimedTask*) {
    Hub_RearmTaskSimple(task, &parked, 10, 0, CountCleanup);
  };
  parked.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(0); };
  Create(&arming, 0);
  RunLoop();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"arm", "parked"}));
  EXPECT_EQ(parked.cleanups, 1);
}

TEST_F(TimedTaskTest, RearmingAListedTaskMovesItInsteadOfListingItTwice) {
  Probe probe;
  probe.name = "moved";
  Hub_TimedTask* task = Create(&probe, 1000);
  Hub_RearmTaskSimple(task, &probe, 10, 0, CountCleanup);
  Hub_RearmTaskSimple(task, &probe, 20, 0, CountCleanup);
  ScheduleStop(200);
  RunLoop();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"moved", "stop"}));
  EXPECT_EQ(probe.cleanups, 1);
}

// ---- removing ----

TEST_F(TimedTaskTest, ATaskRemovedWhileAnotherRunsIsReleasedAndNeverTouchedAgain) {
  Probe removed, later, self;
  removed.name = "removed";
  later.name = "later";
  self.name = "self";
  Hub_TimedTask* removedTask = nullptr;
  Hub_TimedTask* laterTask = nullptr;
  int results[3] = {-1, -1, -1};
  self.action = [&](Hub_TimedTask* task) {
    results[0] = Hub_RemoveTimedTask(removedTask);  // due now, next in the list
    results[1] = Hub_RemoveTimedTask(laterTask);
    results[2] = Hub_RemoveTimedTask(task);  // running, not listed
  };
  Create(&self, 0);
  removedTask = Create(&removed, 0);
  laterTask = Create(&later, 30);
  ScheduleStop(60);
  RunLoop();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"self", "stop"}));
  EXPECT_EQ(results[0], 1);
  EXPECT_EQ(results[1], 1);
  EXPECT_EQ(results[2], 0);
  EXPECT_EQ(removed.cleanups, 1);
  EXPECT_EQ(later.cleanups, 1);
  EXPECT_EQ(self.cleanups, 1);  // released after its run all the same
}

TEST_F(TimedTaskTest, ARunningTaskThatRearmedAndIsRemovedIsReleasedAfterItsRun) {
  Probe probe;
  probe.name = "p";
  probe.rearms = 5;
  probe.rearmDelay = 1000;
  int removedResult = -1;
  probe.action = [&](Hub_TimedTask* task) {
    Hub_RearmTaskSimple(task, &probe, 1000, 0, CountCleanup);
    removedResult = Hub_RemoveTimedTask(task);
    probe.rearms = 0;  // the probe re-arms no more
  };
  Create(&probe, 0);
  ScheduleStop(50);
  RunLoop();
  EXPECT_EQ(removedResult, 1);
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.cleanups, 1);
  TakeLog();
}

// ---- the 1000-task limit ----

TEST_F(TimedTaskTest, The1001stTaskIsReleasedAtOnce) {
  std::vector<Probe> probes(HUB_MAX_TIMED_TASKS + 1);
  std::vector<Hub_TimedTask*> tasks;
  for (int i = 0; i < HUB_MAX_TIMED_TASKS; ++i) {
    tasks.push_back(Create(&probes[i], 100000));
    ASSERT_NE(tasks.back(), nullptr) << i;
  }
  EXPECT_EQ(Create(&probes[HUB_MAX_TIMED_TASKS], 0), nullptr);
  EXPECT_EQ(probes[HUB_MAX_TIMED_TASKS].cleanups, 1);
  EXPECT_EQ(probes[HUB_MAX_TIMED_TASKS].runs, 0);
  for (Hub_TimedTask* task : tasks) EXPECT_EQ(Hub_RemoveTimedTask(task), 1);
  for (int i = 0; i < HUB_MAX_TIMED_TASKS; ++i) EXPECT_EQ(probes[i].cleanups, 1) << i;
  // Room again.
  Probe next;
  next.name = "next";
  ASSERT_NE(Create(&next, 0), nullptr);
  ScheduleStop(10);
  RunLoop();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"next", "stop"}));
}

// ---- socket readiness ----

int PollReady(void*) { return 1; }
int PollNotReady(void*) { return 0; }

TEST_F(TimedTaskTest, SocketTasksRunWhenTheirSocketIsReady) {
  enum Setup { kNothing, kDataWaiting, kPeerClosed };
  const struct {
    const char* name;
    bool read, write;
    Setup setup;
    Hub_TaskPollFunction poll;
    int delay;
    int reason;
  } cases[] = {
      {"data to read", true, false, kDataWaiting, nullptr, 5000, HUB_TASK_READABLE},
      {"peer closed", true, false, kPeerClosed, nullptr, 5000, HUB_TASK_READABLE},
      {"room to write", false, true, kNothing, nullptr, 5000, HUB_TASK_WRITABLE},
      {"both", true, true, kDataWaiting, nullptr, 5000, HUB_TASK_READABLE | HUB_TASK_WRITABLE},
      {"poll says ready", true, false, kNothing, PollReady, 5000, HUB_TASK_POLLED},
      {"nothing ready", true, false, kNothing, PollNotReady, 100, HUB_TASK_TIMER},
  };
  for (const auto& c : cases) {
    SocketPair pair;
    if (c.setup == kDataWaiting) pair.SendFromFar();
    if (c.setup == kPeerClosed) pair.CloseFar();
    Probe probe;
    probe.name = c.name;
    probe.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(1); };
    Hub_CreateTimedTask(RunProbe, &probe, c.delay, 0, c.read ? pair.Near() : nullptr,
                        c.write ? pair.Near() : nullptr, nullptr, nullptr, nullptr, nullptr,
                        c.poll, CountCleanup);
    RunLoop();
    // A socket task that waited for its due time would say HUB_TASK_TIMER.
    EXPECT_EQ(probe.lastReason, c.reason) << c.name;
    EXPECT_EQ(probe.cleanups, 1) << c.name;
    EXPECT_EQ(TakeLog(), std::vector<std::string>{c.name});
  }
}

TEST_F(TimedTaskTest, DataArrivingDuringTheWaitWakesTheLoop) {
  SocketPair pair;
  Probe probe;
  probe.name = "reader";
  probe.readSocket = pair.Near();
  probe.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(1); };
  Create(&probe, 10000);
  // The data is sent once the loop has run a first task and gone to wait.
  std::atomic<bool> started{false};
  Hub_CreateTask([](Hub_TimedTask* task) { *static_cast<std::atomic<bool>*>(Hub_TaskData(task)) = true; },
                 &started, 0, 0, nullptr);
  std::thread writer([&] {
    if (WaitUntil([&] { return started.load(); })) pair.SendFromFar();
  });
  EXPECT_TRUE(LoopEndsByItself());
  writer.join();
  EXPECT_EQ(probe.lastReason, HUB_TASK_READABLE);  // woken well before its due time
  TakeLog();
}

// A task that waits for its socket alone has no due time: the loop may wait
// without limit, and must still wake for each thing that concerns it.
TEST_F(TimedTaskTest, ALoopWaitingForSocketsAloneWakesForWhatConcernsIt) {
  enum Event { kDataArrives, kTaskFromAnotherThread, kTimerFallsDue, kSocketLost };
  const struct {
    const char* name;
    Event event;
    int reason;  // of the waiting task's run; 0: it does not run
  } cases[] = {
      {"data arrives while the loop waits", kDataArrives, HUB_TASK_READABLE},
      {"another thread schedules a task", kTaskFromAnotherThread, 0},
      {"a timer falls due while the socket is idle", kTimerFallsDue, 0},
      {"the task's socket is closed by another task", kSocketLost, HUB_TASK_TIMER},
  };
  for (const auto& c : cases) {
    SocketPair pair;
    HubUtil_Socket socket = *pair.Near();
    Probe waiting;
    waiting.name = "waiting";
    waiting.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(1); };
    Hub_TimedTask* task = Create(&waiting, -1);
    Hub_RearmSocketTaskWhenReady(task, &waiting, 5, 0, &socket, nullptr, nullptr, CountCleanup);
    // The event comes once the loop has run a first task and gone to wait.
    std::atomic<bool> started{false};
    Hub_CreateTask(
        [](Hub_TimedTask* t) { *static_cast<std::atomic<bool>*>(Hub_TaskData(t)) = true; },
        &started, 0, 0, nullptr);
    if (c.event == kTimerFallsDue) ScheduleStop(50, true);
    if (c.event == kSocketLost) {
      Hub_CreateTask([](Hub_TimedTask* t) { *static_cast<HubUtil_Socket*>(Hub_TaskData(t)) = -1; },
                     &socket, 50, 0, nullptr);
    }
    std::thread other([&] {
      if (!WaitUntil([&] { return started.load(); })) return;
      if (c.event == kDataArrives) pair.SendFromFar();
      if (c.event == kTaskFromAnotherThread) ScheduleStop(0, true);
    });
    EXPECT_TRUE(LoopEndsByItself()) << c.name;
    other.join();
    EXPECT_EQ(waiting.lastReason, c.reason) << c.name;
    if (c.reason == 0) {
      EXPECT_EQ(Hub_RemoveTimedTask(task), 1) << c.name;
    }
    EXPECT_EQ(waiting.cleanups, 1) << c.name;
    TakeLog();
  }
}

TEST_F(TimedTaskTest, AnInvalidSocketVariableCountsAsNoSocket) {
  HubUtil_Socket none = HUBUTIL_INVALID_SOCKET;
  Probe probe;
  probe.name = "timer";
  probe.readSocket = &none;
  probe.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(0); };
  Create(&probe, 50);
  RunLoop();
  EXPECT_EQ(probe.lastReason, HUB_TASK_TIMER);
  TakeLog();
}

// A socket task that re-arms itself on a socket that stays readable must not
// keep one pass of the loop to itself: the timer task still runs.
TEST_F(TimedTaskTest, ASelfRearmingSocketTaskDoesNotStarveTheOthers) {
  SocketPair pair;
  pair.SendFromFar();  // never read: the socket stays readable
  Probe spinner;
  spinner.name = "spinner";
  spinner.rearms = 1 << 30;
  spinner.rearmDelay = 10000;
  spinner.readSocket = pair.Near();
  Hub_TimedTask* spinnerTask = Create(&spinner, 10000);
  // The timer comes again until the spinner has run (a slow start may let it
  // fall due before the socket is first looked at), then stops the loop.
  Probe timer;
  timer.name = "timer";
  timer.action = [&](Hub_TimedTask* task) {
    if (spinner.runs > 0) {
      Hub_StopTimedTaskLoop(1);
    } else {
      Hub_RearmTaskSimple(task, &timer, 50, 0, CountCleanup);
    }
  };
  Create(&timer, 50);
  EXPECT_TRUE(LoopEndsByItself());
  EXPECT_GE(timer.runs, 1);
  EXPECT_GE(spinner.runs, 1);
  EXPECT_EQ(timer.cleanups, 1);
  EXPECT_EQ(Hub_RemoveTimedTask(spinnerTask), 1);
  EXPECT_EQ(spinner.cleanups, 1);
  TakeLog();
}

// A task that re-arms itself with delay 0 (and is overdue again by the time
// it returns) runs once per pass, so the loop still ends its pass and sees a
// stop requested from another thread.
TEST_F(TimedTaskTest, ATaskRearmingWithoutDelayLetsThePassEnd) {
  Probe spinner;
  spinner.name = "spinner";
  spinner.action = [&spinner](Hub_TimedTask* task) {
    Hub_RearmTaskSimple(task, &spinner, 0, 0, CountCleanup);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
  Hub_TimedTask* spinnerTask = Create(&spinner, 0);
  std::thread stopper([&spinner] {
    if (WaitUntil([&spinner] { return spinner.runs >= 2; })) Hub_StopTimedTaskLoop(0);
  });
  EXPECT_TRUE(LoopEndsByItself());
  stopper.join();
  EXPECT_GE(spinner.runs, 2);
  EXPECT_EQ(Hub_RemoveTimedTask(spinnerTask), 1);
  EXPECT_EQ(spinner.cleanups, 1);
  TakeLog();
}

// ---- the lock while the loop sleeps ----

// A task made while the loop sleeps toward a far due time is made at once: had
// the loop kept the lock, it would come only after the stop task had run.
TEST_F(TimedTaskTest, TasksCanBeScheduledWhileTheLoopSleeps) {
  Probe first;
  first.name = "first";
  Create(&first, 0);
  ScheduleStop(3000);
  std::thread loop(Hub_RunTimedTaskLoop);
  ASSERT_TRUE(WaitUntil([&] { return first.cleanups == 1; }));
  Probe probe;
  probe.name = "added";
  Create(&probe, 0);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"first"});
  loop.join();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"added", "stop"}));
}

// ---- stopping ----

TEST_F(TimedTaskTest, StoppingFromInsideATask) {
  const struct {
    int immediately;
    std::vector<std::string> expected;
  } cases[] = {
      {1, {"stop"}},           // the loop ends as soon as the task returns
      {0, {"stop", "after"}},  // the pass finishes first
  };
  for (const auto& c : cases) {
    ScheduleStop(0, c.immediately != 0);
    Probe after;
    after.name = "after";
    Hub_TimedTask* afterTask = Create(&after, 0);
    RunLoop();
    EXPECT_EQ(TakeLog(), c.expected) << "immediately " << c.immediately;
    if (after.runs == 0) {
      EXPECT_EQ(Hub_RemoveTimedTask(afterTask), 1);
    }
    EXPECT_EQ(after.cleanups, 1);
  }
}

// The loop sleeps a second at a time while it has no task; a stop from
// another thread ends it after that sleep.
TEST_F(TimedTaskTest, StoppingFromAnotherThreadWhileTheListIsEmpty) {
  Probe first;
  first.name = "first";
  Create(&first, 0);
  std::thread stopper([&first] {
    if (WaitUntil([&first] { return first.cleanups == 1; })) Hub_StopTimedTaskLoop(0);
  });
  EXPECT_TRUE(LoopEndsByItself());
  stopper.join();
  TakeLog();
}

TEST_F(TimedTaskTest, AStopRequestedWhileNoLoopRunsChangesNothing) {
  Hub_StopTimedTaskLoop(0);
  Hub_StopTimedTaskLoop(1);
  Probe probe;
  probe.name = "due";
  Create(&probe, 0);
  ScheduleStop(10);
  RunLoop();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"due", "stop"}));
}

TEST_F(TimedTaskTest, ASecondLoopWarnsWithTheFirstLoopsThreadAndReturns) {
  int loopThread = 0;
  bool secondReturned = false;
  std::string warning;
  Probe probe;
  probe.name = "p";
  probe.action = [&](Hub_TimedTask*) {
    loopThread = HubUtil_CurrentThreadId();
    ::testing::internal::CaptureStderr();
    std::thread second([&] {
      Hub_RunTimedTaskLoop();
      secondReturned = true;
    });
    second.join();
    warning = ::testing::internal::GetCapturedStderr();
    Hub_StopTimedTaskLoop(1);
  };
  Create(&probe, 0);
  RunLoop();
  EXPECT_EQ(warning, "  (WARNING: Timed task loop is already running in thread " +
                         std::to_string(loopThread) + "\n)\n");
  EXPECT_TRUE(secondReturned);
  TakeLog();
}

TEST_F(TimedTaskTest, ReleasingATaskPrintsFromVerbosity4) {
  const struct {
    int verbosity;
    const char* expected;
  } cases[] = {{3, ""}, {4, "Running task package cleanup\n"}};
  for (const auto& c : cases) {
    Probe probe;
    Hub_TimedTask* task = Create(&probe, 1000);
    HubUtil_SetVerbosity(c.verbosity);
    hubtest::CaptureConsole capture;
    Hub_RemoveTimedTask(task);
    std::string printed = capture.Take();
    HubUtil_SetVerbosity(3);
    EXPECT_EQ(printed, c.expected) << "verbosity " << c.verbosity;
    EXPECT_EQ(probe.cleanups, 1);
  }
}

// ---- thread mode ----

class TaskThreadTest : public TimedTaskTest {
 protected:
  void SetUp() override {
    TimedTaskTest::SetUp();
    Hub_EnableTaskThreads();
    ASSERT_TRUE(Hub_TaskThreadsEnabled());
  }
  // Stops thread mode and waits for its threads (the watchdog catches a hang).
  void StopAndWait(int immediately = 0) {
    Hub_StopTimedTaskLoop(immediately);
    EXPECT_FALSE(Hub_TaskThreadsEnabled());
    Hub_WaitForTaskThreads();
  }
  void TearDown() override { EXPECT_FALSE(Hub_TaskThreadsEnabled()); }
};

TEST_F(TaskThreadTest, EachKindOfTaskRunsInAThreadOfItsOwnAndIsReleasedOnce) {
  const struct {
    const char* name;
    int delay;
    int runAtOnce;
    Hub_TaskPollFunction poll;
    int rearms;
    int reason;
  } cases[] = {
      {"timer", 10, 0, nullptr, 0, HUB_TASK_TIMER},
      {"at once", 5000, 1, nullptr, 0, HUB_TASK_AT_ONCE},
      {"polled", 5000, 0, PollReady, 0, HUB_TASK_POLLED},
      {"re-arming", 5, 0, nullptr, 3, HUB_TASK_TIMER},
      {"poll not ready", 20, 0, PollNotReady, 0, HUB_TASK_TIMER},
  };
  const size_t count = sizeof cases / sizeof cases[0];
  std::vector<Probe> probes(count);
  for (size_t i = 0; i < count; ++i) {
    probes[i].name = cases[i].name;
    probes[i].rearms = cases[i].rearms;
    probes[i].rearmDelay = 5;
    ASSERT_NE(Hub_CreateTimedTask(RunProbe, &probes[i], cases[i].delay, cases[i].runAtOnce,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  cases[i].poll, CountCleanup),
              nullptr);
  }
  EXPECT_TRUE(WaitUntil([&] {
    for (const Probe& probe : probes) {
      if (probe.cleanups == 0) return false;
    }
    return true;
  }));
  StopAndWait();
  EXPECT_EQ(HubUtil_SignalHandlersInstalled(), 1);  // by the first task thread
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(probes[i].runs, cases[i].rearms + 1) << cases[i].name;
    EXPECT_EQ(probes[i].cleanups, 1) << cases[i].name;
    EXPECT_EQ(probes[i].lastReason, cases[i].reason) << cases[i].name;
    EXPECT_NE(probes[i].thread, HubUtil_CurrentThreadId()) << cases[i].name;
  }
  TakeLog();
}

// Two tasks that each wait for the other to have started can only both finish
// when they run side by side.
TEST_F(TaskThreadTest, TasksRunSideBySide) {
  std::atomic<int> started{0};
  std::atomic<int> met{0};
  Probe a, b;
  a.name = "a";
  b.name = "b";
  auto meet = [&](Hub_TimedTask*) {
    ++started;
    if (WaitUntil([&] { return started == 2; }, 5000)) ++met;
  };
  a.action = meet;
  b.action = meet;
  Create(&a, 0);
  Create(&b, 0);
  EXPECT_TRUE(WaitUntil([&] { return a.cleanups == 1 && b.cleanups == 1; }, 10000));
  EXPECT_EQ(met, 2);
  StopAndWait();
  TakeLog();
}

TEST_F(TaskThreadTest, StoppingEndsRearmingThreads) {
  const struct {
    int immediately;
    int extraRuns;  // runs after the stop request
  } cases[] = {{0, 1}, {1, 0}};
  for (const auto& c : cases) {
    Hub_EnableTaskThreads();
    // The poll function is asked just before the thread sleeps toward its next run.
    static std::atomic<int> asked;
    asked = 0;
    Probe probe;
    probe.name = "p";
    probe.rearms = 1 << 30;
    probe.rearmDelay = 300;
    probe.poll = [](void*) {
      ++asked;
      return 0;
    };
    Create(&probe, 0);
    ASSERT_TRUE(WaitUntil([&] { return probe.runs == 1 && asked == 2; }));
    StopAndWait(c.immediately);
    EXPECT_EQ(probe.runs, 1 + c.extraRuns) << "immediately " << c.immediately;
    EXPECT_EQ(probe.cleanups, 1) << "immediately " << c.immediately;
  }
  TakeLog();
}

TEST_F(TaskThreadTest, WaitingReturnsWhenTheLastThreadEndedBeforeTheStop) {
  Probe probe;
  probe.name = "p";
  Create(&probe, 0);
  ASSERT_TRUE(WaitUntil([&] { return probe.cleanups == 1 && ThreadEnded(probe.thread); }));
  StopAndWait();
  TakeLog();
}

TEST_F(TaskThreadTest, WaitingReturnsWhenStoppedFromATask) {
  Probe probe;
  probe.name = "p";
  probe.action = [](Hub_TimedTask*) { Hub_StopTimedTaskLoop(0); };
  Create(&probe, 20);
  Hub_WaitForTaskThreads();
  EXPECT_EQ(probe.cleanups, 1);
  TakeLog();
}

TEST_F(TaskThreadTest, TasksScheduledAfterTheStopAreReleased) {
  Hub_StopTimedTaskLoop(0);
  Probe probe;
  probe.name = "late";
  EXPECT_EQ(Create(&probe, 0), nullptr);
  EXPECT_EQ(probe.cleanups, 1);
  Hub_WaitForTaskThreads();
  EXPECT_EQ(probe.runs, 0);
}

TEST_F(TaskThreadTest, RemovingATaskEndsItsThread) {
  Probe probe;
  probe.name = "p";
  probe.rearms = 1 << 30;
  probe.rearmDelay = 20;
  Hub_TimedTask* task = Create(&probe, 0);
  ASSERT_TRUE(WaitUntil([&] { return probe.runs >= 2; }));
  EXPECT_EQ(Hub_RemoveTimedTask(task), 1);
  // Its thread ends, and with it the runs: a task runs only in its own thread.
  EXPECT_TRUE(WaitUntil([&] { return probe.cleanups == 1 && ThreadEnded(probe.thread); }));
  StopAndWait();
  EXPECT_EQ(probe.cleanups, 1);
  TakeLog();
}

TEST_F(TaskThreadTest, ThreadsAnnounceTheirStartAndEndFromVerbosity5) {
  Probe probe;
  probe.name = "p";
  HubUtil_SetVerbosity(5);
  hubtest::CaptureConsole capture;
  Create(&probe, 0);
  bool ended = WaitUntil([&] { return probe.cleanups == 1 && ThreadEnded(probe.thread); });
  std::string printed = capture.Take();
  HubUtil_SetVerbosity(3);
  EXPECT_TRUE(ended);
  std::string id = std::to_string(probe.thread);
  EXPECT_EQ(printed, "Entering thread " + id + "\nExiting thread " + id +
                         "\nRunning task package cleanup\n");
  StopAndWait();
  TakeLog();
}

TEST_F(TaskThreadTest, EndThreadIfStoppingMarksTheCallingThread) {
  Hub_StopTimedTaskLoop(0);
  Hub_WaitForTaskThreads();
  const struct {
    int stop;  // -1 none, 0 after the current run, 1 at once
    int atOnce, requested;
    int cancelled;
  } cases[] = {
      {-1, 1, 1, 0}, {0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 1},
      {1, 0, 0, 0},  {1, 1, 0, 1}, {1, 0, 1, 0}, {1, 1, 1, 1},
  };
  for (const auto& c : cases) {
    Hub_EnableTaskThreads();
    if (c.stop >= 0) Hub_StopTimedTaskLoop(c.stop);
    int state = -2;
    std::thread([&] {
      HubUtil_InitMainThread();  // registers this thread as cancellable
      Hub_EndThreadIfStopping(c.atOnce, c.requested);
      state = HubUtil_ThreadCancelState(HubUtil_CurrentThreadId());
      HubUtil_ForgetThread(HubUtil_CurrentThreadId());
    }).join();
    EXPECT_EQ(state, c.cancelled) << "stop " << c.stop << " flags " << c.atOnce << c.requested;
    if (c.stop < 0) Hub_StopTimedTaskLoop(0);
    Hub_WaitForTaskThreads();
  }
}

TEST(TaskThreadOffTest, WaitingWithoutThreadModeWarns) {
  Watchdog watchdog(kWatchdogMs);
  HubUtil_SetVerbosity(3);
  ::testing::internal::CaptureStderr();
  Hub_WaitForTaskThreads();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "  (WARNING: Can't wait on threads because they're not enabled)\n");
  EXPECT_FALSE(Hub_TaskThreadsEnabled());
}

}  // namespace
