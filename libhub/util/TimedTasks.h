// The timed-task loop of the hub protocol library.
//
// All activity of a server is driven by timed tasks: a function with its data,
// a due time (a delay in milliseconds from scheduling), and optionally sockets
// to wait on or a poll function. One thread runs Hub_RunTimedTaskLoop, which
// waits (poll on the tasks' sockets, or a sleep) until a task is due or ready
// and runs it; each task is examined at most once per pass of the loop. A task
// re-armed by Hub_RearmSocketTaskWhenReady has no due time in the loop: a
// connection with nothing to read costs no wake-ups. Scheduling from another
// thread and stopping the loop end its wait at once. In
// thread mode (Hub_EnableTaskThreads, "-thread") every task runs instead in a
// thread of its own, and Hub_WaitForTaskThreads waits for them to end.
//
// A task runs once per scheduling. A task whose function does not re-arm it is
// released after the run: its data cleanup is called with its data (when both
// are set) and the record is freed; it must not be used afterwards. Task
// functions run with the task-list lock released, so they may create, re-arm
// or remove tasks and stop the loop. Poll functions run with the lock held and
// must not call the operations of this module; the loop asks them before each
// pass and before each wait (it does not wait while one says ready), so they
// must be cheap and must not stay true once their task has run.
//
// The list holds at most HUB_MAX_TIMED_TASKS tasks; a task beyond that is
// released at once. At most HUBUTIL_SOCKET_SET_SIZE distinct sockets of each
// kind are waited on; tasks of the others run by poll function or due time.
// The task list and its lock are made on first use.
#pragma once
#include "libhub/util/Sock.h"
#include "libhub/util/Thread.h"

#define HUB_MAX_TIMED_TASKS 1000

struct Hub_TimedTask;
typedef void (*Hub_TaskFunction)(Hub_TimedTask* task);
// Non-zero when the task is ready to run.
typedef int (*Hub_TaskPollFunction)(void* data);
typedef void (*Hub_TaskDataCleanup)(void* data);

// Why the current run of a task happens (Hub_TaskReason); 0 between runs.
enum {
  HUB_TASK_READABLE = 1,
  HUB_TASK_WRITABLE = 2,
  HUB_TASK_EXCEPTION = 4,  // never given: exception sockets are stored, not waited on
  HUB_TASK_TIMER = 64,
  HUB_TASK_POLLED = 128,
  HUB_TASK_AT_ONCE = 256,  // thread mode only
};

// Makes a task and, unless `delay` is -1 or less, schedules it `delay`
// milliseconds from now. The run-at-once flag is kept only in thread mode (its
// thread then runs the function without sleeping first). The socket arguments
// point to socket variables (null, or a variable holding
// HUBUTIL_INVALID_SOCKET, means none) that are read anew at every wait; the
// task becomes ready when the read socket can be read or the write socket
// written. The exception socket and the three file fields are only stored.
// Returns the task (which another thread may already have run and released),
// or null when scheduling failed and the task was released.
Hub_TimedTask* Hub_CreateTimedTask(Hub_TaskFunction function, void* data, int delay, int runAtOnce,
                                   HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                                   HubUtil_Socket* exceptionSocket, void* readFile,
                                   void* writeFile, void* exceptionFile,
                                   Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup);
// The same without sockets, files or poll function.
Hub_TimedTask* Hub_CreateTask(Hub_TaskFunction function, void* data, int delay, int runAtOnce,
                              Hub_TaskDataCleanup cleanup);
// The same with a read and a write socket.
Hub_TimedTask* Hub_CreateSocketTask(Hub_TaskFunction function, void* data, int delay,
                                    int runAtOnce, HubUtil_Socket* readSocket,
                                    HubUtil_Socket* writeSocket, Hub_TaskDataCleanup cleanup);

// Re-schedules a task that has not been released, normally from inside its own
// function (it is then not released after this run): every field is set again
// and the task is due `delay` milliseconds from now (a negative delay counts as
// 0). A task already waiting in the list is moved, never listed twice. In
// thread mode the task's thread runs it again after the delay. 0, or 1 when
// scheduling failed and the task was released (after its current run, when it
// is running).
int Hub_RearmTask(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                  HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                  HubUtil_Socket* exceptionSocket, void* readFile, void* writeFile,
                  void* exceptionFile, Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup);
int Hub_RearmTaskSimple(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                        Hub_TaskDataCleanup cleanup);
int Hub_RearmSocketTask(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                        HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                        Hub_TaskDataCleanup cleanup);

// Re-arms a task that waits for its sockets alone (the read socket to be
// readable, the write socket writable) or for its poll function: in loop mode
// it is not due by time while it has a socket, and one that has lost its
// sockets (the variables hold HUBUTIL_INVALID_SOCKET) is due at once. In
// thread mode, where nothing waits on sockets, it runs again after `delay`
// (or when its poll function says ready) as with Hub_RearmTask. Results as
// Hub_RearmTask.
int Hub_RearmSocketTaskWhenReady(Hub_TimedTask* task, void* data, int delay, int runAtOnce,
                                 HubUtil_Socket* readSocket, HubUtil_Socket* writeSocket,
                                 Hub_TaskPollFunction poll, Hub_TaskDataCleanup cleanup);

// A task with a handle: *handle names the task from its scheduling until it
// is released, then null. The task-list lock guards the handle, so another
// thread may read it (Hub_HandledTask) or remove the task through it
// (Hub_RemoveHandledTask) at any time without meeting a released task. A new
// task made on a handle takes it over from the task it named. The handle's
// storage must outlive the task or be given up with Hub_RemoveHandledTask.
Hub_TimedTask* Hub_CreateHandledSocketTask(Hub_TimedTask** handle, Hub_TaskFunction function,
                                           void* data, int delay, int runAtOnce,
                                           HubUtil_Socket* readSocket,
                                           HubUtil_Socket* writeSocket,
                                           Hub_TaskDataCleanup cleanup);
// The task the handle names, or null.
Hub_TimedTask* Hub_HandledTask(Hub_TimedTask* const* handle);
// Gives up the handle and removes the task it named (Hub_RemoveTimedTask): its
// result, or 0 when the handle named none.
int Hub_RemoveHandledTask(Hub_TimedTask** handle);

// Removes a task that has not been released. A task waiting in the list is
// taken out and released (after its current run, when it is running): 1. In
// thread mode the task's thread is asked to end (it releases the task at its
// next cancellation point): 1. A task that is neither listed nor has a thread
// (made with delay -1, or running in the loop without having re-armed): 0,
// nothing changes.
int Hub_RemoveTimedTask(Hub_TimedTask* task);

// Runs the loop in the calling thread until it is stopped. It sleeps 1 second
// when there is no task, sleeps until the next due time when no task has a
// socket, and otherwise waits in poll at most that long (without limit when
// every task waits for its sockets alone). Console output of the printing
// layer is flushed before every wait. While another
// loop runs: the warning "Timed task loop is already running in thread %d\n"
// with that loop's thread id, and return.
void Hub_RunTimedTaskLoop();
// Stops the running loop: at once when `immediately` (as soon as the running
// task returns), else after the current pass. In thread mode the task threads
// are asked to stop likewise (a thread ends after its current run; one that is
// stopped at once also skips the run its sleep led to), and new tasks are
// released instead of scheduled until Hub_WaitForTaskThreads has returned.
// Only a running loop and thread mode that is on are changed: a stop while no
// loop runs is not kept for a later loop.
void Hub_StopTimedTaskLoop(int immediately);

// Turns thread mode on (when off).
void Hub_EnableTaskThreads();
// True while thread mode is on and not being stopped.
bool Hub_TaskThreadsEnabled();
// The task threads that have not ended yet.
int Hub_TaskThreadCount();
// Waits until thread mode has been stopped and its last task thread has
// ended, then turns thread mode off. A cancellation point. When thread mode is
// off: the warning "Can't wait on threads because they're not enabled".
void Hub_WaitForTaskThreads();
// For a thread of the library: when thread mode is being stopped at once and
// `atOnce` is set, or after an ordinary stop request and `requested` is set,
// marks the calling thread for cancellation; it ends at its next cancellation
// point.
void Hub_EndThreadIfStopping(int atOnce, int requested);

void* Hub_TaskData(Hub_TimedTask* task);
int Hub_TaskRunAtOnce(Hub_TimedTask* task);
int Hub_TaskReason(Hub_TimedTask* task);
