// Local mutexes, cleanup handlers, cancellation, thread events. Every test
// that waits on another thread runs under a watchdog.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/util/Mutex.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace {

using hubtest::WaitUntil;
using hubtest::Watchdog;

const int kWatchdogMs = 20000;

// ---- mutexes ----

TEST(MutexTest, TryLockFromASecondThread) {
  Watchdog watchdog(kWatchdogMs);
  HubUtil_LocalMutex* mutex = HubUtil_CreateLocalMutex();
  HubUtil_LockMutex(mutex);
  EXPECT_EQ(HubUtil_TryLockMutex(mutex), 0);  // re-entry by the holder
  EXPECT_EQ(HubUtil_MutexHoldCount(mutex), 2);
  int whileHeld = -1, whileFree = -1, holdCount = -1;
  std::thread([&] { whileHeld = HubUtil_TryLockMutex(mutex); }).join();
  HubUtil_UnlockMutex(mutex);
  HubUtil_UnlockMutex(mutex);
  EXPECT_EQ(HubUtil_MutexHoldCount(mutex), 0);
  std::thread([&] {
    whileFree = HubUtil_TryLockMutex(mutex);
    holdCount = HubUtil_MutexHoldCount(mutex);
    HubUtil_UnlockMutex(mutex);
  }).join();
  EXPECT_EQ(whileHeld, 1);
  EXPECT_EQ(whileFree, 0);
  EXPECT_EQ(holdCount, 1);
  HubUtil_DestroyLocalMutex(mutex);
}

TEST(MutexTest, UnlockingAMutexNotHeldWarnsAndChangesNothing) {
  HubUtil_SetVerbosity(3);
  HubUtil_LocalMutex* mutex = HubUtil_CreateLocalMutex();
  ::testing::internal::CaptureStderr();
  HubUtil_UnlockMutex(mutex);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "  (WARNING: Unlocking a mutex this thread does not hold)\n");
  EXPECT_EQ(HubUtil_TryLockMutex(mutex), 0);
  HubUtil_UnlockMutex(mutex);
  HubUtil_DestroyLocalMutex(mutex);
}

// ---- cleanup stack ----

std::vector<std::string>* g_ran = nullptr;
void Note(void* text) { g_ran->push_back(static_cast<const char*>(text)); }

TEST(CleanupTest, PopRunsOnlyWhenAskedAndReportsAnEmptyStack) {
  std::vector<std::string> ran;
  g_ran = &ran;
  EXPECT_EQ(HubUtil_ThreadPopCleanup(1), 1);
  HubUtil_ThreadPushCleanup(Note, const_cast<char*>("first"));
  HubUtil_ThreadPushCleanup(Note, const_cast<char*>("second"));
  EXPECT_EQ(HubUtil_ThreadPopCleanup(1), 0);
  EXPECT_EQ(HubUtil_ThreadPopCleanup(0), 0);
  EXPECT_EQ(HubUtil_ThreadPopCleanup(1), 1);
  EXPECT_EQ(ran, std::vector<std::string>{"second"});
}

// ---- cancel list ----

TEST(CancelTest, UnregisteredIdsAreNoError) {
  const HubUtil_ThreadId unknown = 999999;
  EXPECT_EQ(HubUtil_RequestThreadCancel(unknown), 1);
  EXPECT_EQ(HubUtil_ThreadCancelState(unknown), -1);
  HubUtil_ForgetThread(unknown);
  EXPECT_EQ(HubUtil_ThreadCancelState(HubUtil_CurrentThreadId()), 0);  // the main thread
  EXPECT_EQ(HubUtil_ThreadTestCancel(), 0);
  int foreign = 5;
  std::thread([&] { foreign = HubUtil_ThreadTestCancel(); }).join();
  EXPECT_EQ(foreign, -1);
}

// The state a library thread shares with its test; the thread touches it only
// before its entry leaves the cancel list.
struct Shared {
  HubUtil_LocalMutex* mutex = nullptr;
  HubUtil_ThreadEvent* event = nullptr;
  std::atomic<bool> started{false};
  std::atomic<bool> go{false};
  std::atomic<int> value{0};
  std::atomic<bool> afterEnd{false};
  std::vector<std::string> ran;
};

void NoteShared(void* data) { static_cast<Shared*>(data)->ran.push_back("cleanup"); }

bool Ended(HubUtil_ThreadId id) {
  return WaitUntil([id] { return HubUtil_ThreadCancelState(id) == -1; }, 10000);
}

void HoldLockAndSleep(void* data) {
  auto* shared = static_cast<Shared*>(data);
  HubUtil_ThreadPushCleanup(NoteShared, shared);
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, shared->mutex);
  HubUtil_LockMutex(shared->mutex);
  shared->value = HubUtil_CurrentThreadId();
  shared->started = true;
  for (;;) HubUtil_SleepMillis(2);
}

TEST(ThreadTest, CancelledThreadReleasesItsLock) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  shared.mutex = HubUtil_CreateLocalMutex();
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, HoldLockAndSleep, &shared);
  EXPECT_GT(id, 0);
  EXPECT_NE(id, HubUtil_CurrentThreadId());
  ASSERT_TRUE(WaitUntil([&] { return shared.started.load(); }));
  EXPECT_EQ(shared.value, id);
  EXPECT_EQ(HubUtil_ThreadCancelState(id), 0);
  EXPECT_EQ(HubUtil_TryLockMutex(shared.mutex), 1);
  EXPECT_EQ(HubUtil_RequestThreadCancel(id), 0);
  ASSERT_TRUE(Ended(id));
  EXPECT_EQ(shared.ran, std::vector<std::string>{"cleanup"});
  EXPECT_EQ(HubUtil_TryLockMutex(shared.mutex), 0);
  HubUtil_UnlockMutex(shared.mutex);
  EXPECT_EQ(HubUtil_RequestThreadCancel(id), 1);  // gone from the list
  HubUtil_DestroyLocalMutex(shared.mutex);
}

void PushAndReturn(void* data) {
  HubUtil_ThreadPushCleanup(NoteShared, data);
  HubUtil_ThreadPushCleanup(NoteShared, data);
}

TEST(ThreadTest, ReturningThreadRunsItsRemainingHandlers) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, PushAndReturn, &shared);
  ASSERT_TRUE(Ended(id));
  EXPECT_EQ(shared.ran.size(), 2u);
}

void ExitEarly(void* data) {
  auto* shared = static_cast<Shared*>(data);
  HubUtil_ThreadPushCleanup(NoteShared, shared);
  HubUtil_ExitCurrentThread();
}

TEST(ThreadTest, ExitCurrentThreadEndsItThere) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, ExitEarly, &shared);
  ASSERT_TRUE(Ended(id));
  EXPECT_EQ(shared.ran, std::vector<std::string>{"cleanup"});
}

void SpinThenSleepLong(void* data) {
  auto* shared = static_cast<Shared*>(data);
  shared->started = true;
  while (!shared->go) std::this_thread::yield();  // no cancellation point here
  HubUtil_ThreadPushCleanup(NoteShared, shared);
  HubUtil_SleepMillis(600000);
  shared->afterEnd = true;
}

TEST(ThreadTest, SleepBeginsWithACancellationPoint) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, SpinThenSleepLong, &shared);
  ASSERT_TRUE(WaitUntil([&] { return shared.started.load(); }));
  EXPECT_EQ(HubUtil_RequestThreadCancel(id), 0);
  EXPECT_EQ(HubUtil_ThreadCancelState(id), 1);
  shared.go = true;
  ASSERT_TRUE(Ended(id));
  EXPECT_EQ(shared.ran, std::vector<std::string>{"cleanup"});
  EXPECT_FALSE(shared.afterEnd);
}

void ForgottenThread(void* data) {
  auto* shared = static_cast<Shared*>(data);
  HubUtil_ForgetThread(HubUtil_CurrentThreadId());
  shared->value = HubUtil_ThreadTestCancel();
  shared->started = true;
}

TEST(ThreadTest, ForgottenThreadIsNoLongerCancellable) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, ForgottenThread, &shared);
  ASSERT_TRUE(WaitUntil([&] { return shared.started.load(); }));
  EXPECT_EQ(shared.value, -1);
  EXPECT_EQ(HubUtil_RequestThreadCancel(id), 1);
}

// ---- thread events ----

void WaitRounds(void* data) {
  auto* shared = static_cast<Shared*>(data);
  for (int round = 1; round <= 200; ++round) {
    HubUtil_LockMutex(shared->mutex);
    while (!shared->go) HubUtil_WaitThreadEvent(shared->event, shared->mutex);
    shared->go = false;
    shared->value = round;
    HubUtil_UnlockMutex(shared->mutex);
  }
}

TEST(ThreadEventTest, NoPulseIsLost) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  shared.mutex = HubUtil_CreateLocalMutex();
  shared.event = HubUtil_CreateThreadEvent();
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, WaitRounds, &shared);
  for (int round = 1; round <= 200; ++round) {
    HubUtil_LockMutex(shared.mutex);
    shared.go = true;
    // Half the pulses come after the lock is left, as a careless pulser does.
    if (round % 2) HubUtil_PulseThreadEvent(shared.event);
    HubUtil_UnlockMutex(shared.mutex);
    if (!(round % 2)) HubUtil_PulseThreadEvent(shared.event);
    ASSERT_TRUE(WaitUntil([&] { return shared.value == round; })) << "round " << round;
  }
  ASSERT_TRUE(Ended(id));
  HubUtil_CloseThreadEvent(shared.event);
  HubUtil_DestroyLocalMutex(shared.mutex);
}

void RecordHoldCountAndUnlock(void* data) {
  auto* shared = static_cast<Shared*>(data);
  shared->value = HubUtil_MutexHoldCount(shared->mutex);
  HubUtil_UnlockMutex(shared->mutex);
}

void WaitAfterCancel(void* data) {
  auto* shared = static_cast<Shared*>(data);
  HubUtil_ThreadPushCleanup(RecordHoldCountAndUnlock, shared);
  HubUtil_LockMutex(shared->mutex);
  shared->started = true;
  while (!shared->go) std::this_thread::yield();
  HubUtil_WaitThreadEvent(shared->event, shared->mutex);
  shared->afterEnd = true;
}

TEST(ThreadEventTest, CancelledWaiterHoldsTheLockWhenItsHandlersRun) {
  Watchdog watchdog(kWatchdogMs);
  Shared shared;
  shared.mutex = HubUtil_CreateLocalMutex();
  shared.event = HubUtil_CreateThreadEvent();
  shared.value = -1;
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, WaitAfterCancel, &shared);
  ASSERT_TRUE(WaitUntil([&] { return shared.started.load(); }));
  HubUtil_RequestThreadCancel(id);
  shared.go = true;
  ASSERT_TRUE(Ended(id));
  EXPECT_EQ(shared.value, 1);
  EXPECT_FALSE(shared.afterEnd);
  EXPECT_EQ(HubUtil_TryLockMutex(shared.mutex), 0);
  HubUtil_UnlockMutex(shared.mutex);
  HubUtil_CloseThreadEvent(shared.event);
  HubUtil_DestroyLocalMutex(shared.mutex);
}

TEST(ThreadEventDeathTest, WaitingWithTheLockHeldTwiceIsRefused) {
  EXPECT_EXIT(
      {
        HubUtil_LocalMutex* mutex = HubUtil_CreateLocalMutex();
        HubUtil_ThreadEvent* event = HubUtil_CreateThreadEvent();
        HubUtil_LockMutex(mutex);
        HubUtil_LockMutex(mutex);
        HubUtil_WaitThreadEvent(event, mutex);
      },
      ::testing::ExitedWithCode(255), "must be held exactly once");
}

TEST(ThreadEventDeathTest, WaitingWithoutTheLockIsRefused) {
  EXPECT_EXIT(
      {
        HubUtil_LocalMutex* mutex = HubUtil_CreateLocalMutex();
        HubUtil_WaitThreadEvent(HubUtil_CreateThreadEvent(), mutex);
      },
      ::testing::ExitedWithCode(255), "must be held exactly once");
}

}  // namespace
