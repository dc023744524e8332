#include "libhub/util/TimedTasks.h"

#include <climits>
#include <cstdlib>

#include "libhub/util/Mutex.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"

struct Hub_TimedTask {
  Hub_TaskFunction function;
  void* data;
  int runAtOnce;        // thread mode only; 0 in loop mode
  int delay;            // milliseconds; -1 while made but never scheduled
  int running;          // 1 while the function runs
  int releaseAfterRun;  // set before every run; re-arming clears it
  Hub_TaskDataCleanup cleanup;
  HubUtil_ThreadId thread;  // thread mode: the task's own thread, 0 before it has one
  long dueSeconds;
  long dueMicroseconds;
  HubUtil_Socket* readSocket;
  HubUtil_Socket* writeSocket;
  HubUtil_Socket* exceptionSocket;
  void* readFile;
  void* writeFile;
  void* exceptionFile;
  Hub_TaskPollFunction poll;
  int waitsForSocket;  // loop mode: not due by time while it has a socket
  int reason;
  unsigned long examinedInPass;  // the last pass that looked at its sockets and poll function
  unsigned long ranInPass;       // the last pass that ran it
  Hub_TimedTask** handle;        // names the task until it is released, or null
};

namespace {

enum LoopState { kIdle = 0, kRunning = 1, kStopAfterPass = 2, kStopAtOnce = 3 };
enum ThreadState { kThreadsOff = 0, kThreadsOn = 1 };  // 2 and 3 as the loop's stop states

// The due time of a task that waits for its sockets alone: after every other.
constexpr long kNever = LONG_MAX;
// The longest wait when nothing could wake the loop from another thread.
constexpr int kUnwakeableWaitMs = 1000;

// Everything below is guarded by `lock`.
struct TaskStatics {
  HubUtil_LocalMutex* lock;
  Hub_TimedTask* tasks[HUB_MAX_TIMED_TASKS];  // in order of due time
  int count;
  // What the loop waits on, rebuilt from the tasks' socket variables.
  HubUtil_SocketSet readInterest;
  HubUtil_SocketSet writeInterest;
  bool someSocket;
  // What the last wait found ready: kept apart from the interest sets, which
  // tasks rebuild while a pass runs, and used by one pass only.
  HubUtil_SocketSet readReady;
  HubUtil_SocketSet writeReady;
  unsigned long pass;
  // A byte sent on wake[1] ends the loop's wait; sent only while `waiting`.
  HubUtil_Socket wake[2];
  bool waiting;
  int loopState;
  HubUtil_ThreadId loopThread;  // 0 while no loop runs
  int threadState;
  int threadCount;
  HubUtil_ThreadEvent* threadsChanged;  // pulsed when a task thread ends or a stop is requested
};

// Made on first use and kept for the life of the process: task threads may
// still use them while it exits.
TaskStatics& Statics() {
  static TaskStatics* statics = [] {
    auto* made = static_cast<TaskStatics*>(calloc(1, sizeof(TaskStatics)));
    HubUtil_Assert(made != nullptr, "Error alloc'ing memory for the timed task list");
    made->lock = HubUtil_CreateLocalMutex();
    made->threadsChanged = HubUtil_CreateThreadEvent();
    if (HubUtil_SocketPair(made->wake) != 0) made->wake[0] = made->wake[1] = HUBUTIL_INVALID_SOCKET;
    return made;
  }();
  return *statics;
}

void Lock() { HubUtil_LockMutex(Statics().lock); }
void Unlock() { HubUtil_UnlockMutex(Statics().lock); }

// ---- times ----

void Normalize(long* seconds, long* microseconds) {
  *seconds += *microseconds / 1000000;
  *microseconds %= 1000000;
  if (*microseconds < 0) {
    *microseconds += 1000000;
    *seconds -= 1;
  }
}

bool Later(long seconds, long microseconds, long otherSeconds, long otherMicroseconds) {
  return seconds > otherSeconds || (seconds == otherSeconds && microseconds > otherMicroseconds);
}

void SetDueTime(Hub_TimedTask* task, int delay) {
  HubUtil_TimeOfDay(&task->dueSeconds, &task->dueMicroseconds);
  task->dueSeconds += delay / 1000;
  task->dueMicroseconds += (delay % 1000) * 1000L;
  Normalize(&task->dueSeconds, &task->dueMicroseconds);
}

// ---- the list (lock held) ----

int IndexOf(const Hub_TimedTask* task) {
  TaskStatics& s = Statics();
  for (int i = 0; i < s.count; ++i) {
    if (s.tasks[i] == task) return i;
  }
  return -1;
}

void TakeOut(int index) {
  TaskStatics& s = Statics();
  for (int i = index + 1; i < s.count; ++i) s.tasks[i - 1] = s.tasks[i];
  --s.count;
}

// Before the first task due later, so that equal due times keep their order.
void InsertByDueTime(Hub_TimedTask* task) {
  TaskStatics& s = Statics();
  int at = 0;
  while (at < s.count && !Later(s.tasks[at]->dueSeconds, s.tasks[at]->dueMicroseconds,
                                task->dueSeconds, task->dueMicroseconds)) {
    ++at;
  }
  for (int i = s.count; i > at; --i) s.tasks[i] = s.tasks[i - 1];
  s.tasks[at] = task;
  ++s.count;
}

bool Valid(const HubUtil_Socket* socket) {
  return socket && *socket != HUBUTIL_INVALID_SOCKET;
}

bool HasSocket(const Hub_TimedTask* task) {
  return Valid(task->readSocket) || Valid(task->writeSocket);
}

bool WaitsForSocketAlone(const Hub_TimedTask* task) {
  return task->waitsForSocket && HasSocket(task);
}

// Ready without waiting for anything: a task that waits for its sockets but
// has lost them, or one whose poll function says so.
bool ReadyNow(const Hub_TimedTask* task) {
  return (task->waitsForSocket && !HasSocket(task)) || (task->poll && task->poll(task->data));
}

// Ends the wait of a loop that runs in another thread, so that it sees a
// change of the list or of its state.
void WakeLoop() {
  TaskStatics& s = Statics();
  if (!s.waiting || s.loopThread == HubUtil_CurrentThreadId()) return;
  s.waiting = false;
  HubUtil_Send(s.wake[1], "w", 1);
}

void RebuildSocketSets() {
  TaskStatics& s = Statics();
  HubUtil_SocketSetClear(&s.readInterest);
  HubUtil_SocketSetClear(&s.writeInterest);
  s.someSocket = false;
  for (int i = 0; i < s.count; ++i) {
    const Hub_TimedTask* task = s.tasks[i];
    if (Valid(task->readSocket)) HubUtil_SocketSetAdd(&s.readInterest, *task->readSocket);
    if (Valid(task->writeSocket)) HubUtil_SocketSetAdd(&s.writeInterest, *task->writeSocket);
    if (HasSocket(task) || task->waitsForSocket) s.someSocket = true;
  }
}

// ---- running and releasing ----

void ForgetHandle(Hub_TimedTask* task) {
  if (task->handle && *task->handle == task) *task->handle = nullptr;
  task->handle = nullptr;
}

void FreeTask(Hub_TimedTask* task) {
  Lock();
  ForgetHandle(task);
  Unlock();
  HubUtil_PrintAtLevel(4, "Running task package cleanup\n");
  if (task->cleanup && task->data) task->cleanup(task->data);
  free(task);
}

// Lock held. A running task is released by whoever runs it, after the run; a
// task with a thread of its own only by that thread's exit handler.
void ReleaseTask(Hub_TimedTask* task) {
  if (task->thread != 0) {
    task->releaseAfterRun = 1;
    if (task->thread != HubUtil_CurrentThreadId()) HubUtil_RequestThreadCancel(task->thread);
  } else if (task->running) {
    task->releaseAfterRun = 1;
  } else {
    FreeTask(task);
  }
}

// Calls the task's function with the lock released; true when the task is to
// be released now (it did not re-arm itself, or was removed while it ran).
bool RunTask(Hub_TimedTask* task, int reason) {
  Lock();
  task->reason = reason;
  task->running = 1;
  task->releaseAfterRun = 1;
  Unlock();
  task->function(task);
  Lock();
  task->running = 0;
  task->reason = 0;
  bool release = task->releaseAfterRun != 0;
  Unlock();
  return release;
}

// ---- scheduling (lock held) ----

void TaskThreadBody(void* argument);

int ScheduleInList(Hub_TimedTask* task, int delay) {
  TaskStatics& s = Statics();
  if (s.count >= HUB_MAX_TIMED_TASKS) {
    ReleaseTask(task);
    return 1;
  }
  task->delay = delay;
  SetDueTime(task, delay);
  if (WaitsForSocketAlone(task)) {
    task->dueSeconds = kNever;
    task->dueMicroseconds = 0;
  }
  InsertByDueTime(task);
  if (HasSocket(task)) RebuildSocketSets();
  WakeLoop();
  return 0;
}

int ScheduleInThread(Hub_TimedTask* task, int delay) {
  TaskStatics& s = Statics();
  task->delay = delay;
  SetDueTime(task, delay);
  if (task->thread != 0) return 0;  // its thread runs it again after the delay
  if (!HubUtil_SignalHandlersInstalled()) HubUtil_InstallSignalHandlers();
  // Counted before the thread starts, so that a wait cannot miss it.
  ++s.threadCount;
  HubUtil_ThreadCreate(&task->thread, TaskThreadBody, task);
  return 0;
}

int ScheduleTask(Hub_TimedTask* task, int delay) {
  TaskStatics& s = Statics();
  int listed = IndexOf(task);
  if (listed >= 0) TakeOut(listed);
  if (s.threadState == kThreadsOff) return ScheduleInList(task, delay);
  if (s.threadState == kThreadsOn) return ScheduleInThread(task, delay);
  ReleaseTask(task);  // thread mode is being stopped
  return 1;
}

void SetFields(Hub_TimedTask* task, Hub_TaskFunction function, void* data, int runAtOnce,
               HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
               HubUtil_Socket* exceptionSocket, void* readFile, void* writeFile,
               void* exceptionFile, Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup) {
  task->function = function;
  task->data = data;
  task->runAtOnce = Statics().threadState == kThreadsOn ? runAtOnce : 0;
  task->readSocket = readSocket;
  task->writeSocket = writeSocket;
  task->exceptionSocket = exceptionSocket;
  task->readFile = readFile;
  task->writeFile = writeFile;
  task->exceptionFile = exceptionFile;
  task->poll = poll;
  task->waitsForSocket = 0;
  task->cleanup = cleanup;
}

// ---- one pass of the loop (lock held) ----

// Runs a task taken out of the list; false when the loop is to stop at once.
bool RunFromLoop(Hub_TimedTask* task, int reason) {
  TaskStatics& s = Statics();
  task->ranInPass = s.pass;
  Unlock();
  if (RunTask(task, reason)) FreeTask(task);
  Lock();
  return s.loopState != kStopAtOnce;
}

int Readiness(const Hub_TimedTask* task) {
  TaskStatics& s = Statics();
  int reason = 0;
  if (Valid(task->readSocket) && HubUtil_SocketSetContains(&s.readReady, *task->readSocket)) {
    reason |= HUB_TASK_READABLE;
  }
  if (Valid(task->writeSocket) && HubUtil_SocketSetContains(&s.writeReady, *task->writeSocket)) {
    reason |= HUB_TASK_WRITABLE;
  }
  if (reason == 0 && task->poll && task->poll(task->data)) reason = HUB_TASK_POLLED;
  if (reason == 0 && task->waitsForSocket && !HasSocket(task)) reason = HUB_TASK_TIMER;
  return reason;
}

// Looks once at every listed task's sockets and poll function and runs the
// ready ones. The list may change while a task runs, so the scan then starts
// again from the top, skipping what this pass has looked at already. False
// when the loop is to stop at once.
bool RunReadyTasks() {
  TaskStatics& s = Statics();
  int i = 0;
  while (i < s.count) {
    Hub_TimedTask* task = s.tasks[i];
    if (task->examinedInPass == s.pass) {
      ++i;
      continue;
    }
    task->examinedInPass = s.pass;
    int reason = Readiness(task);
    if (reason == 0) {
      ++i;
      continue;
    }
    TakeOut(i);
    if (!RunFromLoop(task, reason)) return false;
    i = 0;
  }
  return true;
}

int Milliseconds(long seconds, long microseconds) {
  long total = seconds * 1000 + microseconds / 1000;
  return total < 0 ? 0 : static_cast<int>(total);
}

// How long the loop may wait for sockets: until the first task is due (-1:
// no limit, when every task waits for its sockets alone), or not at all when
// a task is ready already.
int WaitLimit(const Hub_TimedTask* first, long seconds, long microseconds) {
  TaskStatics& s = Statics();
  for (int i = 0; i < s.count; ++i) {
    if (ReadyNow(s.tasks[i])) return 0;
  }
  return first->dueSeconds == kNever ? -1 : Milliseconds(seconds, microseconds);
}

// Runs the ready tasks, then the due ones, each at most once. 1 with the time
// the loop may wait in *timeoutMs (-1: no limit); 0 when the list is empty and
// the loop runs on; -1 when the loop is to stop.
int RunDueTasks(int* timeoutMs) {
  TaskStatics& s = Statics();
  ++s.pass;
  bool goOn = !(s.someSocket && s.count > 0) || RunReadyTasks();
  HubUtil_SocketSetClear(&s.readReady);
  HubUtil_SocketSetClear(&s.writeReady);
  if (!goOn) return -1;
  for (;;) {
    if (s.count == 0) return s.loopState == kRunning ? 0 : -1;
    Hub_TimedTask* first = s.tasks[0];
    long seconds = 0, microseconds = 0;
    if (first->dueSeconds != kNever) {
      HubUtil_TimeOfDay(&seconds, &microseconds);
      seconds = first->dueSeconds - seconds;
      microseconds = first->dueMicroseconds - microseconds;
      Normalize(&seconds, &microseconds);
    }
    // A task that already ran in this pass (it re-armed itself with a short
    // delay) waits for the next one, so that sockets are looked at again.
    if (seconds >= 0 || first->ranInPass == s.pass) {
      *timeoutMs = WaitLimit(first, seconds, microseconds);
      return 1;
    }
    TakeOut(0);
    if (!RunFromLoop(first, HUB_TASK_TIMER)) return -1;
  }
}

// Empties the wake-up socket after a wait it ended.
void DrainWake(HubUtil_SocketSet* ready) {
  TaskStatics& s = Statics();
  if (!HubUtil_SocketSetContains(ready, s.wake[0])) return;
  char bytes[64];
  while (HubUtil_Receive(s.wake[0], bytes, sizeof bytes) > 0) {
  }
}

// Waits, with the lock released, until a socket is ready, the time-out (-1:
// none) has passed or another thread changed the list; what is ready is kept
// for the next pass.
void WaitForWork(int timeoutMs) {
  TaskStatics& s = Statics();
  RebuildSocketSets();
  if (!s.someSocket) {
    Unlock();
    HubUtil_SleepMillis(timeoutMs);
    Lock();
    return;
  }
  HubUtil_SocketSet read = s.readInterest;
  HubUtil_SocketSet write = s.writeInterest;
  bool wakeable = HubUtil_SocketSetAdd(&read, s.wake[0]) != 0;
  if (!wakeable && (timeoutMs < 0 || timeoutMs > kUnwakeableWaitMs)) timeoutMs = kUnwakeableWaitMs;
  s.waiting = wakeable;
  Unlock();
  int interrupted = 0;
  int ready = HubUtil_Select(&read, &write, nullptr, timeoutMs, &interrupted);
  if (ready < 0 && !interrupted) {
    HubUtil_PrintError("Error during select: %d", HubUtil_SocketError());
    // A lasting failure (a socket closed under its task) must not spin.
    HubUtil_SleepMillis(timeoutMs < 0 ? kUnwakeableWaitMs : timeoutMs);
  }
  Lock();
  s.waiting = false;
  if (ready > 0) {
    DrainWake(&read);
    s.readReady = read;
    s.writeReady = write;
  }
}

// The loop's cleanup handler, run when it ends normally or is cancelled.
void EndLoop(void*) {
  TaskStatics& s = Statics();
  if (HubUtil_MutexHoldCount(s.lock) == 0) Lock();
  s.loopState = kIdle;
  s.loopThread = 0;
  Unlock();
}

// ---- thread mode ----

void TaskThreadExit(void* argument) {
  TaskStatics& s = Statics();
  HubUtil_PrintAtLevel(5, "Exiting thread %d\n", HubUtil_CurrentThreadId());
  FreeTask(static_cast<Hub_TimedTask*>(argument));
  Lock();
  --s.threadCount;
  HubUtil_PulseThreadEvent(s.threadsChanged);
  Unlock();
}

int CurrentThreadState() {
  Lock();
  int state = Statics().threadState;
  Unlock();
  return state;
}

// Waits for the task's next turn: the reason to run it, or 0 when thread mode
// is being stopped at once. A cancellation point.
int WaitForTurn(Hub_TimedTask* task) {
  Lock();
  Hub_TaskPollFunction poll = task->poll;
  void* data = task->data;
  int runAtOnce = task->runAtOnce;
  int delay = task->delay;
  Unlock();
  if (poll && poll(data)) return HUB_TASK_POLLED;
  if (runAtOnce) return HUB_TASK_AT_ONCE;
  HubUtil_SleepMillis(delay);
  return CurrentThreadState() == kStopAtOnce ? 0 : HUB_TASK_TIMER;
}

// The body of each task thread: runs the task at every turn until it is not
// re-armed or thread mode is stopped; the exit handler then releases it.
void TaskThreadBody(void* argument) {
  auto* task = static_cast<Hub_TimedTask*>(argument);
  HubUtil_PrintAtLevel(5, "Entering thread %d\n", HubUtil_CurrentThreadId());
  HubUtil_ThreadPushCleanup(TaskThreadExit, task);
  for (;;) {
    int reason = WaitForTurn(task);
    if (reason == 0) break;
    HubUtil_ThreadTestCancel();
    if (RunTask(task, reason)) break;
    if (CurrentThreadState() != kThreadsOn) break;
  }
  HubUtil_ExitCurrentThread();
}

}  // namespace

// ---- making, re-arming, removing ----

Hub_TimedTask* Hub_CreateTimedTask(Hub_TaskFunction function, void* data, int delay, int runAtOnce,
                                   HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                                   HubUtil_Socket* exceptionSocket, void* readFile,
                                   void* writeFile, void* exceptionFile,
                                   Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup) {
  auto* task = static_cast<Hub_TimedTask*>(calloc(1, sizeof(Hub_TimedTask)));
  HubUtil_Assert(task != nullptr, "Error alloc'ing memory for timed task");
  task->delay = -1;
  Lock();
  SetFields(task, function, data, runAtOnce, readSocket, writeSocket, exceptionSocket, readFile,
            writeFile, exceptionFile, poll, cleanup);
  int failed = delay > -1 ? ScheduleTask(task, delay) : 0;
  Unlock();
  return failed ? nullptr : task;
}

Hub_TimedTask* Hub_CreateTask(Hub_TaskFunction function, void* data, int delay, int runAtOnce,
                              Hub_TaskDataCleanup cleanup) {
  return Hub_CreateTimedTask(function, data, delay, runAtOnce, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, cleanup);
}

Hub_TimedTask* Hub_CreateSocketTask(Hub_TaskFunction function, void* data, int delay,
                                    int runAtOnce, HubUtil_Socket* readSocket,
                                    HubUtil_Socket* writeSocket, Hub_TaskDataCleanup cleanup) {
  return Hub_CreateTimedTask(function, data, delay, runAtOnce, readSocket, writeSocket, nullptr,
                             nullptr, nullptr, nullptr, nullptr, cleanup);
}

int Hub_RearmTask(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                  HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                  HubUtil_Socket* exceptionSocket, void* readFile, void* writeFile,
                  void* exceptionFile, Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup) {
  Lock();
  SetFields(task, task->function, data, runAtOnce, readSocket, writeSocket, exceptionSocket,
            readFile, writeFile, exceptionFile, poll, cleanup);
  task->releaseAfterRun = 0;
  int result = ScheduleTask(task, delay < 0 ? 0 : delay);
  Unlock();
  return result;
}

int Hub_RearmTaskSimple(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                        Hub_TaskDataCleanup cleanup) {
  return Hub_RearmTask(task, data, delay, runAtOnce, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, cleanup);
}

int Hub_RearmSocketTask(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                        HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                        Hub_TaskDataCleanup cleanup) {
  return Hub_RearmTask(task, data, delay, runAtOnce, readSocket, writeSocket, nullptr, nullptr,
                       nullptr, nullptr, nullptr, cleanup);
}

int Hub_RearmSocketTaskWhenReady(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                                 HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                                 Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup) {
  Lock();
  SetFields(task, task->function, data, runAtOnce, readSocket, writeSocket, nullptr, nullptr,
            nullptr, nullptr, poll, cleanup);
  task->waitsForSocket = 1;
  task->releaseAfterRun = 0;
  int result = ScheduleTask(task, delay < 0 ? 0 : delay);
  Unlock();
  return result;
}

Hub_TimedTask* Hub_CreateHandledSocketTask(Hub_TimedTask** handle, Hub_TaskFunction function,
                                           void* data, int delay, int runAtOnce,
                                           HubUtil_Socket* readSocket,
                                           HubUtil_Socket* writeSocket,
                                           Hub_TaskDataCleanup cleanup) {
  // Made without a delay, named, then scheduled: no other thread can meet the
  // task before its handle names it.
  Hub_TimedTask* task = Hub_CreateSocketTask(function, data, -1, runAtOnce, readSocket,
                                             writeSocket, cleanup);
  Lock();
  if (*handle) (*handle)->handle = nullptr;
  *handle = task;
  task->handle = handle;
  Unlock();
  if (delay < 0) return task;
  return Hub_RearmSocketTask(task, data, delay, runAtOnce, readSocket, writeSocket, cleanup) == 0
             ? task
             : nullptr;
}

Hub_TimedTask* Hub_HandledTask(Hub_TimedTask* const* handle) {
  Lock();
  Hub_TimedTask* task = *handle;
  Unlock();
  return task;
}

int Hub_RemoveHandledTask(Hub_TimedTask** handle) {
  Lock();
  Hub_TimedTask* task = *handle;
  int removed = 0;
  if (task) {
    ForgetHandle(task);
    removed = Hub_RemoveTimedTask(task);
  }
  Unlock();
  return removed;
}

int Hub_RemoveTimedTask(Hub_TimedTask* task) {
  Lock();
  int listed = IndexOf(task);
  if (listed >= 0) TakeOut(listed);
  int removed = listed >= 0 || task->thread != 0;
  if (removed) ReleaseTask(task);
  Unlock();
  return removed;
}

// ---- the loop ----

void Hub_RunTimedTaskLoop() {
  TaskStatics& s = Statics();
  Lock();
  if (s.loopThread != 0) {
    HubUtil_PrintWarning("Timed task loop is already running in thread %d\n", s.loopThread);
    Unlock();
    return;
  }
  s.loopState = kRunning;
  s.loopThread = HubUtil_CurrentThreadId();
  HubUtil_ThreadPushCleanup(EndLoop, nullptr);
  RebuildSocketSets();
  while (s.loopState == kRunning) {
    int timeoutMs = 0;
    int result = RunDueTasks(&timeoutMs);
    if (result == 0) {
      Unlock();
      HubUtil_SleepSeconds(1);
      Lock();
    } else if (result == 1) {
      WaitForWork(timeoutMs);
    }
  }
  HubUtil_ThreadPopCleanup(1);  // EndLoop: idle, and the lock released
}

void Hub_StopTimedTaskLoop(int immediately) {
  TaskStatics& s = Statics();
  int stop = immediately ? kStopAtOnce : kStopAfterPass;
  Lock();
  if (s.loopState == kRunning) s.loopState = stop;
  WakeLoop();
  if (s.threadState == kThreadsOn) {
    s.threadState = stop;
    HubUtil_PulseThreadEvent(s.threadsChanged);
  }
  Unlock();
}

// ---- thread mode ----

void Hub_EnableTaskThreads() {
  Lock();
  if (Statics().threadState == kThreadsOff) Statics().threadState = kThreadsOn;
  Unlock();
}

bool Hub_TaskThreadsEnabled() { return CurrentThreadState() == kThreadsOn; }

int Hub_TaskThreadCount() {
  Lock();
  int count = Statics().threadCount;
  Unlock();
  return count;
}

void Hub_WaitForTaskThreads() {
  TaskStatics& s = Statics();
  Lock();
  if (s.threadState == kThreadsOff) {
    Unlock();
    HubUtil_PrintWarning("Can't wait on threads because they're not enabled");
    return;
  }
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, s.lock);
  while (s.threadState == kThreadsOn || s.threadCount > 0) {
    HubUtil_WaitThreadEvent(s.threadsChanged, s.lock);
  }
  s.threadState = kThreadsOff;
  HubUtil_ThreadPopCleanup(0);
  Unlock();
}

void Hub_EndThreadIfStopping(int atOnce, int requested) {
  int state = CurrentThreadState();
  if ((state == kStopAtOnce && atOnce) || (state == kStopAfterPass && requested)) {
    HubUtil_RequestThreadCancel(HubUtil_CurrentThreadId());
  }
}

// ---- accessors ----

void* Hub_TaskData(Hub_TimedTask* task) { return task->data; }
int Hub_TaskRunAtOnce(Hub_TimedTask* task) { return task->runAtOnce; }
int Hub_TaskReason(Hub_TimedTask* task) { return task->reason; }
