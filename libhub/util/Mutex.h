// Local mutexes of the hub protocol library: re-entrant locks, each in its own
// allocation. A thread may lock a mutex it already holds; it must unlock it as
// many times. Queues, connections, the symbol table and the thread layer hold
// one each (repositories have a lighter lock of their own).
#pragma once
#include <pthread.h>

#include <atomic>

struct HubUtil_LocalMutex {
  pthread_mutex_t mutex;            // recursive
  std::atomic<pthread_t> owner;     // the holder, 0 when free
  int depth;                        // times the holder has locked it; only it touches this
};

// A new unlocked mutex. Fatal when it cannot be allocated.
HubUtil_LocalMutex* HubUtil_CreateLocalMutex();
// Frees a mutex that no thread holds. Null is ignored.
void HubUtil_DestroyLocalMutex(HubUtil_LocalMutex* mutex);

// Waits for and takes the mutex.
void HubUtil_LockMutex(HubUtil_LocalMutex* mutex);
// Takes the mutex without waiting: 0 when taken (also when the caller already
// holds it), 1 when another thread holds it.
int HubUtil_TryLockMutex(HubUtil_LocalMutex* mutex);
// Leaves the mutex once. A mutex the calling thread does not hold is left
// alone, with a warning.
void HubUtil_UnlockMutex(HubUtil_LocalMutex* mutex);
// How many times the calling thread holds the mutex (0 when it does not).
int HubUtil_MutexHoldCount(HubUtil_LocalMutex* mutex);

// HubUtil_UnlockMutex in the shape of a cleanup handler (argument: the mutex),
// for HubUtil_ThreadPushCleanup.
void HubUtil_UnlockCleanup(void* mutex);
