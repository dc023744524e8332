#include "libhub/util/Mutex.h"

#include <cstdlib>
#include <new>

#include "libhub/util/Print.h"

HubUtil_LocalMutex* HubUtil_CreateLocalMutex() {
  void* memory = calloc(1, sizeof(HubUtil_LocalMutex));
  HubUtil_Assert(memory != nullptr, "Error alloc'ing memory for mutex in HubUtil_CreateLocalMutex");
  HubUtil_LocalMutex* mutex = new (memory) HubUtil_LocalMutex;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  mutex->owner = pthread_t{};
  mutex->depth = 0;
  return mutex;
}

void HubUtil_DestroyLocalMutex(HubUtil_LocalMutex* mutex) {
  if (!mutex) return;
  pthread_mutex_destroy(&mutex->mutex);
  mutex->~HubUtil_LocalMutex();
  free(mutex);
}

namespace {

// The holder's own bookkeeping, with the mutex held: no other thread writes it.
void NoteTaken(HubUtil_LocalMutex* mutex) {
  if (mutex->depth++ == 0) mutex->owner.store(pthread_self(), std::memory_order_relaxed);
}

bool HeldHere(const HubUtil_LocalMutex* mutex) {
  return pthread_equal(mutex->owner.load(std::memory_order_relaxed), pthread_self()) != 0;
}

}  // namespace

void HubUtil_LockMutex(HubUtil_LocalMutex* mutex) {
  pthread_mutex_lock(&mutex->mutex);
  NoteTaken(mutex);
}

int HubUtil_TryLockMutex(HubUtil_LocalMutex* mutex) {
  if (pthread_mutex_trylock(&mutex->mutex) != 0) return 1;
  NoteTaken(mutex);
  return 0;
}

int HubUtil_MutexHoldCount(HubUtil_LocalMutex* mutex) {
  return HeldHere(mutex) ? mutex->depth : 0;
}

void HubUtil_UnlockMutex(HubUtil_LocalMutex* mutex) {
  if (HubUtil_MutexHoldCount(mutex) == 0) {
    HubUtil_PrintWarning("Unlocking a mutex this thread does not hold");
    return;
  }
  if (--mutex->depth == 0) mutex->owner.store(pthread_t{}, std::memory_order_relaxed);
  pthread_mutex_unlock(&mutex->mutex);
}

void HubUtil_UnlockCleanup(void* mutex) {
  HubUtil_UnlockMutex(static_cast<HubUtil_LocalMutex*>(mutex));
}
