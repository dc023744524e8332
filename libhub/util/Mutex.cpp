#include "libhub/util/Mutex.h"

#include <cstdlib>
#include <new>

#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"

HubUtil_LocalMutex* HubUtil_CreateLocalMutex() {
  void* memory = calloc(1, sizeof(HubUtil_LocalMutex));
  HubUtil_Assert(memory != nullptr, "Error alloc'ing memory for mutex in HubUtil_CreateLocalMutex");
  HubUtil_LocalMutex* mutex = new (memory) HubUtil_LocalMutex;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  mutex->owner = 0;
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

void NoteTaken(HubUtil_LocalMutex* mutex) {
  if (mutex->depth.fetch_add(1) == 0) mutex->owner = HubUtil_CurrentThreadId();
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
  return mutex->owner == HubUtil_CurrentThreadId() ? mutex->depth.load() : 0;
}

void HubUtil_UnlockMutex(HubUtil_LocalMutex* mutex) {
  if (HubUtil_MutexHoldCount(mutex) == 0) {
    HubUtil_PrintWarning("Unlocking a mutex this thread does not hold");
    return;
  }
  if (mutex->depth.fetch_sub(1) == 1) mutex->owner = 0;
  pthread_mutex_unlock(&mutex->mutex);
}

void HubUtil_UnlockCleanup(void* mutex) {
  HubUtil_UnlockMutex(static_cast<HubUtil_LocalMutex*>(mutex));
}
