// Value queues: singly linked queues of one-word values (pointers or small
// integers, never null), with an optional lock, optional reuse of nodes, and
// traversals that may remove elements while they run.
//
// A removal inside a traversal of the same queue marks the node (state 2); the
// outermost traversal unlinks marked nodes when it ends. A queue made with a
// lock runs every operation under it; the lock is re-entrant, so a visitor may
// call operations on its own queue — but Remove and TakeFirst unlink at once and
// must not be called on a queue from inside its own traversal. A traversal that
// a thread cancellation ends (Thread.h) leaves the queue consistent and unlocked.
#pragma once
#include <atomic>
#include <cstdint>

struct HubUtil_LocalMutex;

struct Hub_ValueQueueNode {
  void* value;
  int32_t state;  // 1 live, 2 removed during a traversal, 0 spare
  Hub_ValueQueueNode* next;
};

typedef void (*Hub_ValueFree)(void* value);
typedef void* (*Hub_ValueCopy)(void* value);
// Visitors: 0 stops the walk, -1 removes the element, anything else goes on.
typedef int (*Hub_ValueVisit)(void* value, void* argument);
// Tests: non-zero is a match.
typedef int (*Hub_ValueTest)(void* value, void* argument);

struct Hub_ValueQueue {
  int32_t reuseNodes;                    // nodes that leave go to `spare`
  int32_t traversing;                    // 1 while a traversal runs
  HubUtil_LocalMutex* lock;              // or null
  std::atomic<Hub_ValueQueueNode*> head;
  Hub_ValueQueueNode* tail;
  Hub_ValueQueueNode* spare;
  Hub_ValueFree freeElement;             // or null; used by Destroy
};

// A new empty queue, with a lock when `locked` is set.
Hub_ValueQueue* Hub_ValueQueueCreate(int reuseNodes, int locked, Hub_ValueFree freeElement);
// Appends a value; a null value is ignored.
void Hub_ValueQueueAppend(Hub_ValueQueue* queue, void* value);
// Unlinks the first node holding `value`: the value, or null when absent.
void* Hub_ValueQueueRemove(Hub_ValueQueue* queue, void* value);
// Unlinks the head: its value, or null when empty.
void* Hub_ValueQueueTakeFirst(Hub_ValueQueue* queue);
// The first live value the test accepts, removed; null when none.
void* Hub_ValueQueueTakeMatching(Hub_ValueQueue* queue, Hub_ValueTest test, void* argument);
// Calls visit on each live value in order (see Hub_ValueVisit). Null queue: nothing.
void Hub_ValueQueueVisit(Hub_ValueQueue* queue, Hub_ValueVisit visit, void* argument);
// Appends a snapshot of the source's live values (each through `copy` when
// given) to the target, in order. Source and target may be the same queue.
void Hub_ValueQueueAppendFrom(Hub_ValueQueue* target, Hub_ValueQueue* source, Hub_ValueCopy copy);
// 1 when the queue exists and has a head node; reads without the lock.
int Hub_ValueQueueHasItems(const Hub_ValueQueue* queue);
// Calls the free function once on each live value, in order (never on a value
// already handed out), frees the nodes, the record and then the lock. The
// queue must not be in use by another thread. Null is ignored.
void Hub_ValueQueueDestroy(Hub_ValueQueue* queue);
