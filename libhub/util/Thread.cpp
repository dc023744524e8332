#include "libhub/util/Thread.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "libhub/util/Mutex.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"

namespace {

struct CleanupNode {
  HubUtil_CleanupHandler handler;
  void* argument;
  CleanupNode* next;  // toward the bottom of the stack
};

// The per-thread record, made on first use by every thread.
struct ThreadRecord {
  CleanupNode* top = nullptr;
  HubUtil_ThreadId id = 0;
  bool libraryThread = false;  // started by HubUtil_ThreadCreate
  ~ThreadRecord() {
    while (top) {
      CleanupNode* node = top;
      top = node->next;
      free(node);
    }
  }
};

thread_local ThreadRecord t_record;
std::atomic<HubUtil_ThreadId> g_nextId{1};

ThreadRecord& Record() {
  if (t_record.id == 0) t_record.id = g_nextId++;
  return t_record;
}

// Thrown at a cancellation point of a library thread; caught by its entry.
struct ThreadEnding {};

struct CancelEntry {
  HubUtil_ThreadId id;
  int flag;  // 0 running, 1 cancellation requested
};

// The cancellable threads and their lock; made on first need and kept for the
// life of the process (threads may still use them while it exits).
std::vector<CancelEntry>& CancelList() {
  static auto* list = new std::vector<CancelEntry>;
  return *list;
}
HubUtil_LocalMutex* CancelListLock() {
  static HubUtil_LocalMutex* lock = HubUtil_CreateLocalMutex();
  return lock;
}

CancelEntry* FindEntry(HubUtil_ThreadId id) {
  for (CancelEntry& entry : CancelList()) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

void Register(HubUtil_ThreadId id) {
  HubUtil_LockMutex(CancelListLock());
  if (!FindEntry(id)) CancelList().push_back({id, 0});
  HubUtil_UnlockMutex(CancelListLock());
}

[[noreturn]] void EndThisThread() {
  while (HubUtil_ThreadPopCleanup(1) == 0) {
  }
  HubUtil_ForgetThread(HubUtil_CurrentThreadId());
  if (t_record.libraryThread) throw ThreadEnding{};
  pthread_exit(nullptr);
}

struct ThreadPackage {
  HubUtil_ThreadFunction function;
  void* argument;
  HubUtil_ThreadId id;
};

void* RunHubThread(void* data) {
  ThreadPackage package = *static_cast<ThreadPackage*>(data);
  free(data);
  t_record.id = package.id;
  t_record.libraryThread = true;
  try {
    package.function(package.argument);
    EndThisThread();
  } catch (const ThreadEnding&) {
  }
  return nullptr;
}

}  // namespace

HubUtil_ThreadId HubUtil_CurrentThreadId() { return Record().id; }

void HubUtil_InitMainThread() { Register(HubUtil_CurrentThreadId()); }

void HubUtil_ThreadCreate(HubUtil_ThreadId* id, HubUtil_ThreadFunction function, void* argument) {
  auto* package = static_cast<ThreadPackage*>(malloc(sizeof(ThreadPackage)));
  HubUtil_Assert(package != nullptr,
                 "Error alloc'ing memory for thread function and argument in "
                 "HubUtil_ThreadCreate (Win32)");
  package->function = function;
  package->argument = argument;
  package->id = g_nextId++;
  *id = package->id;
  HubUtil_ThreadId newId = package->id;  // the thread frees the package

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  // The thread is registered before it can reach a cancellation point.
  HubUtil_LockMutex(CancelListLock());
  pthread_t thread;
  int failed = pthread_create(&thread, &attributes, RunHubThread, package);
  if (!failed) CancelList().push_back({newId, 0});
  HubUtil_UnlockMutex(CancelListLock());
  pthread_attr_destroy(&attributes);
  if (failed) free(package);
  HubUtil_Assert(!failed, "Error creating thread in HubUtil_ThreadCreate (Win32)");
}

void HubUtil_ThreadPushCleanup(HubUtil_CleanupHandler handler, void* argument) {
  auto* node = static_cast<CleanupNode*>(malloc(sizeof(CleanupNode)));
  HubUtil_Assert(node != nullptr,
                 "Error alloc'ing memory for thread cleanup data in HubUtil_ThreadPushCleanup "
                 "(Win32)");
  ThreadRecord& record = Record();
  *node = {handler, argument, record.top};
  record.top = node;
}

int HubUtil_ThreadPopCleanup(int run) {
  ThreadRecord& record = Record();
  CleanupNode* node = record.top;
  if (!node) return 1;
  record.top = node->next;
  CleanupNode popped = *node;
  free(node);
  if (run) popped.handler(popped.argument);
  return 0;
}

int HubUtil_RequestThreadCancel(HubUtil_ThreadId id) {
  HubUtil_LockMutex(CancelListLock());
  CancelEntry* entry = FindEntry(id);
  if (entry) entry->flag = 1;
  HubUtil_UnlockMutex(CancelListLock());
  return entry ? 0 : 1;
}

int HubUtil_ThreadCancelState(HubUtil_ThreadId id) {
  HubUtil_LockMutex(CancelListLock());
  CancelEntry* entry = FindEntry(id);
  int state = entry ? entry->flag : -1;
  HubUtil_UnlockMutex(CancelListLock());
  return state;
}

void HubUtil_ForgetThread(HubUtil_ThreadId id) {
  HubUtil_LockMutex(CancelListLock());
  std::vector<CancelEntry>& list = CancelList();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->id == id) {
      list.erase(it);
      break;
    }
  }
  HubUtil_UnlockMutex(CancelListLock());
}

int HubUtil_ThreadTestCancel() {
  int state = HubUtil_ThreadCancelState(HubUtil_CurrentThreadId());
  if (state == 1) EndThisThread();
  return state;
}

void HubUtil_ExitCurrentThread() { EndThisThread(); }

void HubUtil_SleepMillis(int milliseconds) {
  HubUtil_ThreadTestCancel();
  HubUtil_SleepPlainMillis(milliseconds);
}

// ---- thread events ----

struct HubUtil_ThreadEvent {
  pthread_mutex_t lock;
  pthread_cond_t pulsed;
  unsigned generation;  // raised by every pulse, under `lock`
};

HubUtil_ThreadEvent* HubUtil_CreateThreadEvent() {
  auto* event = static_cast<HubUtil_ThreadEvent*>(calloc(1, sizeof(HubUtil_ThreadEvent)));
  HubUtil_Assert(event != nullptr, "Error alloc'ing memory for thread event");
  pthread_mutex_init(&event->lock, nullptr);
  pthread_cond_init(&event->pulsed, nullptr);
  return event;
}

void HubUtil_CloseThreadEvent(HubUtil_ThreadEvent* event) {
  if (!event) return;
  pthread_cond_destroy(&event->pulsed);
  pthread_mutex_destroy(&event->lock);
  free(event);
}

void HubUtil_PulseThreadEvent(HubUtil_ThreadEvent* event) {
  pthread_mutex_lock(&event->lock);
  ++event->generation;
  pthread_cond_broadcast(&event->pulsed);
  pthread_mutex_unlock(&event->lock);
}

void HubUtil_WaitThreadEvent(HubUtil_ThreadEvent* event, HubUtil_LocalMutex* mutex) {
  HubUtil_Assert(HubUtil_MutexHoldCount(mutex) == 1,
                 "HubUtil_WaitThreadEvent: the mutex must be held exactly once");
  HubUtil_ThreadTestCancel();
  // The generation is read while the caller still holds its mutex, so a pulse
  // that follows a change made under that mutex is always seen.
  pthread_mutex_lock(&event->lock);
  unsigned generation = event->generation;
  HubUtil_UnlockMutex(mutex);
  while (event->generation == generation) pthread_cond_wait(&event->pulsed, &event->lock);
  pthread_mutex_unlock(&event->lock);
  HubUtil_LockMutex(mutex);
}
