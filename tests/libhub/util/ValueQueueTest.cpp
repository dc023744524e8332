// Value queues: order, removal inside traversals, destruction, node reuse,
// locking across threads.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/util/Mutex.h"
#include "libhub/util/Thread.h"
#include "libhub/util/ValueQueue.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace {

void* V(uintptr_t value) { return reinterpret_cast<void*>(value); }
uintptr_t W(void* value) { return reinterpret_cast<uintptr_t>(value); }

std::vector<uintptr_t> Contents(Hub_ValueQueue* queue) {
  std::vector<uintptr_t> values;
  for (Hub_ValueQueueNode* node = queue->head; node; node = node->next) {
    values.push_back(W(node->value));
  }
  return values;
}

Hub_ValueQueue* Make(std::initializer_list<uintptr_t> values, int reuse = 0, int locked = 1) {
  Hub_ValueQueue* queue = Hub_ValueQueueCreate(reuse, locked, nullptr);
  for (uintptr_t value : values) Hub_ValueQueueAppend(queue, V(value));
  return queue;
}

using Values = std::vector<uintptr_t>;

TEST(ValueQueueTest, AppendRemoveTakeFirst) {
  Hub_ValueQueue* queue = Make({1, 2, 3, 2});
  Hub_ValueQueueAppend(queue, nullptr);
  EXPECT_EQ(Contents(queue), (Values{1, 2, 3, 2}));
  EXPECT_EQ(Hub_ValueQueueRemove(queue, V(9)), nullptr);
  EXPECT_EQ(Hub_ValueQueueRemove(queue, V(2)), V(2));
  EXPECT_EQ(Contents(queue), (Values{1, 3, 2}));
  EXPECT_EQ(Hub_ValueQueueRemove(queue, V(2)), V(2));  // the tail
  EXPECT_EQ(Contents(queue), (Values{1, 3}));
  Hub_ValueQueueAppend(queue, V(4));
  EXPECT_EQ(Contents(queue), (Values{1, 3, 4}));
  EXPECT_EQ(Hub_ValueQueueTakeFirst(queue), V(1));
  EXPECT_EQ(Hub_ValueQueueTakeFirst(queue), V(3));
  EXPECT_EQ(Hub_ValueQueueTakeFirst(queue), V(4));
  EXPECT_EQ(Hub_ValueQueueTakeFirst(queue), nullptr);
  EXPECT_EQ(Hub_ValueQueueHasItems(queue), 0);
  EXPECT_EQ(queue->tail, nullptr);
  Hub_ValueQueueAppend(queue, V(5));
  EXPECT_EQ(Hub_ValueQueueHasItems(queue), 1);
  EXPECT_EQ(Contents(queue), (Values{5}));
  Hub_ValueQueueDestroy(queue);
  EXPECT_EQ(Hub_ValueQueueHasItems(nullptr), 0);
  Hub_ValueQueueVisit(nullptr, nullptr, nullptr);
  Hub_ValueQueueDestroy(nullptr);
}

// A visitor steered by a table: value → result.
struct Steer {
  std::vector<std::pair<uintptr_t, int>> results;
  std::vector<uintptr_t> seen;
};

int SteeredVisit(void* value, void* argument) {
  auto* steer = static_cast<Steer*>(argument);
  steer->seen.push_back(W(value));
  for (auto& entry : steer->results) {
    if (entry.first == W(value)) return entry.second;
  }
  return 1;
}

TEST(ValueQueueTest, VisitorResultsSteerTheWalk) {
  struct Case {
    const char* name;
    std::vector<std::pair<uintptr_t, int>> results;
    Values seen;
    Values left;
  };
  const Case cases[] = {
      {"keep all", {}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"remove all", {{1, -1}, {2, -1}, {3, -1}, {4, -1}}, {1, 2, 3, 4}, {}},
      {"stop at first", {{1, 0}}, {1}, {1, 2, 3, 4}},
      {"remove even", {{2, -1}, {4, -1}}, {1, 2, 3, 4}, {1, 3}},
      {"remove then stop", {{1, -1}, {3, 0}}, {1, 2, 3}, {2, 3, 4}},
      {"other results keep", {{2, 7}, {3, -2}}, {1, 2, 3, 4}, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    for (int locked = 0; locked <= 1; ++locked) {
      Hub_ValueQueue* queue = Make({1, 2, 3, 4}, 0, locked);
      Steer steer{c.results, {}};
      Hub_ValueQueueVisit(queue, SteeredVisit, &steer);
      EXPECT_EQ(steer.seen, c.seen) << c.name;
      EXPECT_EQ(Contents(queue), c.left) << c.name;
      EXPECT_EQ(queue->traversing, 0) << c.name;
      Hub_ValueQueueAppend(queue, V(9));  // the tail is right after removals
      EXPECT_EQ(Contents(queue).back(), 9u) << c.name;
      Hub_ValueQueueDestroy(queue);
    }
  }
}

// Inside the visit of value 2, takes value 3 and checks it is still linked.
struct Nested {
  Hub_ValueQueue* queue;
  std::vector<uintptr_t> seen;
  void* taken = nullptr;
  Values duringVisit;
};

int IsThree(void* value, void*) { return W(value) == 3; }

int VisitTakingThree(void* value, void* argument) {
  auto* nested = static_cast<Nested*>(argument);
  nested->seen.push_back(W(value));
  if (W(value) == 2) {
    nested->taken = Hub_ValueQueueTakeMatching(nested->queue, IsThree, nullptr);
    nested->duringVisit = Contents(nested->queue);
  }
  return 1;
}

TEST(ValueQueueTest, NestedTakeIsRemovedWhenTheOuterWalkEnds) {
  Hub_ValueQueue* queue = Make({1, 2, 3, 4});
  Nested nested{queue, {}, nullptr, {}};
  Hub_ValueQueueVisit(queue, VisitTakingThree, &nested);
  EXPECT_EQ(nested.taken, V(3));
  EXPECT_EQ(nested.duringVisit, (Values{1, 2, 3, 4}));  // marked, still linked
  EXPECT_EQ(nested.seen, (Values{1, 2, 4}));            // the outer walk skips it
  EXPECT_EQ(Contents(queue), (Values{1, 2, 4}));
  // A second take finds nothing: the value was handed out once.
  EXPECT_EQ(Hub_ValueQueueTakeMatching(queue, IsThree, nullptr), nullptr);
  Hub_ValueQueueDestroy(queue);
}

int RemoveAllNested(void*, void*) { return -1; }

int VisitRemovingAllInside(void* value, void* argument) {
  auto* nested = static_cast<Nested*>(argument);
  nested->seen.push_back(W(value));
  Hub_ValueQueueVisit(nested->queue, RemoveAllNested, nullptr);
  nested->duringVisit = Contents(nested->queue);
  return 1;
}

TEST(ValueQueueTest, NestedVisitRemovalsArePurgedByTheOuterWalk) {
  Hub_ValueQueue* queue = Make({1, 2, 3});
  Nested nested{queue, {}, nullptr, {}};
  Hub_ValueQueueVisit(queue, VisitRemovingAllInside, &nested);
  EXPECT_EQ(nested.seen, (Values{1}));
  EXPECT_EQ(nested.duringVisit, (Values{1, 2, 3}));
  EXPECT_EQ(Contents(queue), Values{});
  EXPECT_EQ(queue->tail, nullptr);
  EXPECT_EQ(Hub_ValueQueueHasItems(queue), 0);
  Hub_ValueQueueDestroy(queue);
}

std::vector<uintptr_t> g_freed;
void RecordFree(void* value) { g_freed.push_back(W(value)); }

int TakeSevenInside(void* value, void* argument) {
  auto* queue = static_cast<Hub_ValueQueue*>(argument);
  if (W(value) == 6) {
    Hub_ValueQueueTakeMatching(queue, [](void* v, void*) { return W(v) == 7 ? 1 : 0; }, nullptr);
  }
  return 1;
}

TEST(ValueQueueTest, DestroyFreesEachLiveValueOnceInOrder) {
  g_freed.clear();
  Hub_ValueQueue* queue = Hub_ValueQueueCreate(1, 1, RecordFree);
  for (uintptr_t value : {5, 6, 7, 8}) Hub_ValueQueueAppend(queue, V(value));
  Hub_ValueQueueTakeFirst(queue);  // handed out: not freed by the queue
  Hub_ValueQueueVisit(queue, TakeSevenInside, queue);
  Hub_ValueQueueDestroy(queue);
  EXPECT_EQ(g_freed, (Values{6, 8}));
}

size_t SpareCount(Hub_ValueQueue* queue) {
  size_t count = 0;
  for (Hub_ValueQueueNode* node = queue->spare; node; node = node->next) ++count;
  return count;
}

TEST(ValueQueueTest, ReusedNodesStayAtTheLargestSize) {
  Hub_ValueQueue* queue = Make({1, 2, 3}, 1);
  Hub_ValueQueueNode* first = queue->head;
  EXPECT_EQ(Hub_ValueQueueTakeFirst(queue), V(1));
  EXPECT_EQ(SpareCount(queue), 1u);
  EXPECT_EQ(first->state, 0);
  EXPECT_EQ(first->value, nullptr);
  Hub_ValueQueueAppend(queue, V(4));
  EXPECT_EQ(queue->tail, first);
  EXPECT_EQ(SpareCount(queue), 0u);
  for (int round = 0; round < 10; ++round) {
    Hub_ValueQueueRemove(queue, V(2));
    Hub_ValueQueueRemove(queue, V(3));
    Hub_ValueQueueAppend(queue, V(2));
    Hub_ValueQueueAppend(queue, V(3));
  }
  EXPECT_EQ(SpareCount(queue), 0u);
  while (Hub_ValueQueueTakeFirst(queue)) {
  }
  EXPECT_EQ(SpareCount(queue), 3u);
  Hub_ValueQueueDestroy(queue);
}

void* Plus100(void* value) { return V(W(value) + 100); }

TEST(ValueQueueTest, AppendFromCopiesASnapshot) {
  Hub_ValueQueue* source = Make({1, 2});
  Hub_ValueQueue* target = Make({9}, 0, 0);
  Hub_ValueQueueAppendFrom(target, source, nullptr);
  EXPECT_EQ(Contents(target), (Values{9, 1, 2}));
  Hub_ValueQueueAppendFrom(target, source, Plus100);
  EXPECT_EQ(Contents(target), (Values{9, 1, 2, 101, 102}));
  Hub_ValueQueueAppendFrom(source, source, nullptr);  // ends
  EXPECT_EQ(Contents(source), (Values{1, 2, 1, 2}));
  Hub_ValueQueueDestroy(source);
  Hub_ValueQueueDestroy(target);
}

TEST(ValueQueueTest, ConcurrentAppendsLoseNothing) {
  hubtest::Watchdog watchdog(20000);
  Hub_ValueQueue* queue = Hub_ValueQueueCreate(1, 1, nullptr);
  const int kThreads = 4, kEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([queue, t] {
      for (int i = 1; i <= kEach; ++i) {
        Hub_ValueQueueAppend(queue, V(t * kEach + i));
        if (i % 3 == 0) Hub_ValueQueueRemove(queue, V(t * kEach + i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  Values values = Contents(queue);
  std::vector<int> seen(kThreads * kEach + 1, 0);
  for (uintptr_t value : values) ++seen[value];
  for (int value = 1; value <= kThreads * kEach; ++value) {
    ASSERT_EQ(seen[value], (value - ((value - 1) / kEach) * kEach) % 3 == 0 ? 0 : 1) << value;
  }
  Hub_ValueQueueDestroy(queue);
}

// A thread cancelled inside a visitor of a locked queue leaves the queue
// unlocked, not traversing, and purged of what its walks removed.
struct CancelInVisit {
  Hub_ValueQueue* queue;
  std::atomic<bool> inside{false};
  std::atomic<bool> cancelled{false};
};

int VisitThenWaitForCancel(void* value, void* argument) {
  auto* state = static_cast<CancelInVisit*>(argument);
  if (W(value) == 1) return -1;
  Hub_ValueQueueTakeMatching(state->queue, IsThree, nullptr);
  state->inside = true;
  while (!state->cancelled) std::this_thread::yield();
  HubUtil_ThreadTestCancel();
  return 1;
}

void VisitInThread(void* argument) {
  auto* state = static_cast<CancelInVisit*>(argument);
  Hub_ValueQueueVisit(state->queue, VisitThenWaitForCancel, state);
}

TEST(ValueQueueTest, CancelledVisitorLeavesTheQueueUsable) {
  hubtest::Watchdog watchdog(20000);
  CancelInVisit state;
  state.queue = Make({1, 2, 3, 4});
  HubUtil_ThreadId id = 0;
  HubUtil_ThreadCreate(&id, VisitInThread, &state);
  ASSERT_TRUE(hubtest::WaitUntil([&] { return state.inside.load(); }));
  EXPECT_EQ(HubUtil_TryLockMutex(state.queue->lock), 1);
  HubUtil_RequestThreadCancel(id);
  state.cancelled = true;
  ASSERT_TRUE(hubtest::WaitUntil([&] { return HubUtil_ThreadCancelState(id) == -1; }));
  EXPECT_EQ(HubUtil_TryLockMutex(state.queue->lock), 0);
  HubUtil_UnlockMutex(state.queue->lock);
  EXPECT_EQ(state.queue->traversing, 0);
  EXPECT_EQ(Contents(state.queue), (Values{2, 4}));
  Hub_ValueQueueDestroy(state.queue);
}

}  // namespace
