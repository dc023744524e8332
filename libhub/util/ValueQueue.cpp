#include "libhub/util/ValueQueue.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "libhub/util/Mutex.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"

namespace {

enum : int32_t { kSpare = 0, kLive = 1, kRemoved = 2 };

void Lock(Hub_ValueQueue* queue) {
  if (queue->lock) HubUtil_LockMutex(queue->lock);
}
void Unlock(Hub_ValueQueue* queue) {
  if (queue->lock) HubUtil_UnlockMutex(queue->lock);
}

Hub_ValueQueueNode* TakeNode(Hub_ValueQueue* queue) {
  Hub_ValueQueueNode* node = queue->spare;
  if (node) {
    queue->spare = node->next;
    node->next = nullptr;
  } else {
    node = static_cast<Hub_ValueQueueNode*>(calloc(1, sizeof(Hub_ValueQueueNode)));
    HubUtil_Assert(node != nullptr, "Error alloc'ing memory for a value queue node");
  }
  node->state = kLive;
  return node;
}

void ReleaseNode(Hub_ValueQueue* queue, Hub_ValueQueueNode* node) {
  if (!queue->reuseNodes) {
    free(node);
    return;
  }
  node->value = nullptr;
  node->state = kSpare;
  node->next = queue->spare;
  queue->spare = node;
}

void Link(Hub_ValueQueue* queue, void* value) {
  Hub_ValueQueueNode* node = TakeNode(queue);
  node->value = value;
  node->next = nullptr;
  if (queue->tail) {
    queue->tail->next = node;
  } else {
    queue->head = node;
  }
  queue->tail = node;
}

// Unlinks `node`, whose predecessor is `previous` (null for the head).
void Unlink(Hub_ValueQueue* queue, Hub_ValueQueueNode* previous, Hub_ValueQueueNode* node) {
  if (previous) {
    previous->next = node->next;
  } else {
    queue->head = node->next;
  }
  if (queue->tail == node) queue->tail = previous;
  ReleaseNode(queue, node);
}

void PurgeRemoved(Hub_ValueQueue* queue) {
  Hub_ValueQueueNode* previous = nullptr;
  Hub_ValueQueueNode* node = queue->head;
  while (node) {
    Hub_ValueQueueNode* next = node->next;
    if (node->state == kRemoved) {
      Unlink(queue, previous, node);
    } else {
      previous = node;
    }
    node = next;
  }
}

// One running traversal: entered under the queue's lock, with a cleanup
// handler that ends it (restores the flag, purges, unlocks) also when the
// thread is cancelled inside a callback.
struct Traversal {
  Hub_ValueQueue* queue;
  int32_t outer;  // the traversing flag found on entry: 1 inside another walk
};

void EndTraversal(void* data) {
  auto* traversal = static_cast<Traversal*>(data);
  Hub_ValueQueue* queue = traversal->queue;
  queue->traversing = traversal->outer;
  if (!traversal->outer) PurgeRemoved(queue);
  Unlock(queue);
}

Traversal BeginTraversal(Hub_ValueQueue* queue) {
  Lock(queue);
  Traversal traversal = {queue, queue->traversing};
  queue->traversing = 1;
  return traversal;
}

// Removes a node met by a traversal: marked when the walk is nested, unlinked
// at once otherwise. Gives the node the walk goes on from as predecessor.
Hub_ValueQueueNode* RemoveVisited(const Traversal& traversal, Hub_ValueQueueNode* previous,
                                  Hub_ValueQueueNode* node) {
  if (traversal.outer) {
    node->state = kRemoved;
    return node;
  }
  Unlink(traversal.queue, previous, node);
  return previous;
}

}  // namespace

Hub_ValueQueue* Hub_ValueQueueCreate(int reuseNodes, int locked, Hub_ValueFree freeElement) {
  void* memory = calloc(1, sizeof(Hub_ValueQueue));
  HubUtil_Assert(memory != nullptr, "Error alloc'ing memory for a value queue");
  auto* queue = new (memory) Hub_ValueQueue;
  queue->reuseNodes = reuseNodes;
  queue->traversing = 0;
  queue->lock = locked ? HubUtil_CreateLocalMutex() : nullptr;
  queue->head = nullptr;
  queue->tail = nullptr;
  queue->spare = nullptr;
  queue->freeElement = freeElement;
  return queue;
}

void Hub_ValueQueueAppend(Hub_ValueQueue* queue, void* value) {
  if (!value) return;
  Lock(queue);
  Link(queue, value);
  Unlock(queue);
}

void* Hub_ValueQueueRemove(Hub_ValueQueue* queue, void* value) {
  Lock(queue);
  void* found = nullptr;
  Hub_ValueQueueNode* previous = nullptr;
  for (Hub_ValueQueueNode* node = queue->head; node; previous = node, node = node->next) {
    if (node->value == value) {
      found = value;
      Unlink(queue, previous, node);
      break;
    }
  }
  Unlock(queue);
  return found;
}

void* Hub_ValueQueueTakeFirst(Hub_ValueQueue* queue) {
  Lock(queue);
  Hub_ValueQueueNode* node = queue->head;
  void* value = node ? node->value : nullptr;
  if (node) Unlink(queue, nullptr, node);
  Unlock(queue);
  return value;
}

void* Hub_ValueQueueTakeMatching(Hub_ValueQueue* queue, Hub_ValueTest test, void* argument) {
  Traversal traversal = BeginTraversal(queue);
  HubUtil_ThreadPushCleanup(EndTraversal, &traversal);
  void* found = nullptr;
  Hub_ValueQueueNode* previous = nullptr;
  for (Hub_ValueQueueNode* node = queue->head; node; previous = node, node = node->next) {
    if (node->state == kLive && test(node->value, argument)) {
      found = node->value;
      RemoveVisited(traversal, previous, node);
      break;
    }
  }
  HubUtil_ThreadPopCleanup(1);
  return found;
}

void Hub_ValueQueueVisit(Hub_ValueQueue* queue, Hub_ValueVisit visit, void* argument) {
  if (!queue) return;
  Traversal traversal = BeginTraversal(queue);
  HubUtil_ThreadPushCleanup(EndTraversal, &traversal);
  Hub_ValueQueueNode* previous = nullptr;
  Hub_ValueQueueNode* node = queue->head;
  while (node) {
    int result = node->state == kRemoved ? -1 : visit(node->value, argument);
    if (result == 0) break;
    // Read after the visit: the visitor may have appended behind this node.
    Hub_ValueQueueNode* next = node->next;
    previous = result == -1 ? RemoveVisited(traversal, previous, node) : node;
    node = next;
  }
  HubUtil_ThreadPopCleanup(1);
}

void Hub_ValueQueueAppendFrom(Hub_ValueQueue* target, Hub_ValueQueue* source, Hub_ValueCopy copy) {
  if (!target || !source) return;
  std::vector<void*> snapshot;
  if (source->lock) HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, source->lock);
  Lock(source);
  for (Hub_ValueQueueNode* node = source->head; node; node = node->next) {
    if (node->state == kLive) snapshot.push_back(copy ? copy(node->value) : node->value);
  }
  Unlock(source);
  if (source->lock) HubUtil_ThreadPopCleanup(0);
  Lock(target);
  for (void* value : snapshot) {
    if (value) Link(target, value);
  }
  Unlock(target);
}

int Hub_ValueQueueHasItems(const Hub_ValueQueue* queue) {
  return (queue && queue->head.load() != nullptr) ? 1 : 0;
}

void Hub_ValueQueueDestroy(Hub_ValueQueue* queue) {
  if (!queue) return;
  HubUtil_LocalMutex* lock = queue->lock;
  Lock(queue);
  for (Hub_ValueQueueNode* node = queue->spare; node;) {
    Hub_ValueQueueNode* next = node->next;
    free(node);
    node = next;
  }
  for (Hub_ValueQueueNode* node = queue->head; node;) {
    Hub_ValueQueueNode* next = node->next;
    if (node->state == kLive && queue->freeElement) queue->freeElement(node->value);
    free(node);
    node = next;
  }
  queue->~Hub_ValueQueue();
  free(queue);
  if (lock) {
    HubUtil_UnlockMutex(lock);
    HubUtil_DestroyLocalMutex(lock);
  }
}
