// Threads of the hub protocol library, with cooperative cancellation.
//
// A thread is marked for cancellation (HubUtil_RequestThreadCancel) and ends
// itself at its next cancellation point: HubUtil_ThreadTestCancel,
// HubUtil_SleepMillis, HubUtil_WaitThreadEvent, HubUtil_ExitCurrentThread, and
// the end of a thread function. Ending runs the cleanup handlers the thread
// pushed, newest first, so that no lock stays held: a region that holds a lock
// and may reach a cancellation point pushes HubUtil_UnlockCleanup with the lock
// before taking it and pops it (without running it) after leaving it.
//
// A thread started by HubUtil_ThreadCreate ends by unwinding back to the
// library's thread entry (C++ destructors on the way run; a catch (...) in a
// thread function must rethrow). Any other thread ends through pthread_exit.
// Every thread gets its per-thread record (id, cleanup stack) on first use.
#pragma once

typedef int HubUtil_ThreadId;  // 1, 2, ... in order of first use; 0 is no thread
typedef void (*HubUtil_CleanupHandler)(void* argument);
typedef void (*HubUtil_ThreadFunction)(void* argument);

// The calling thread's id.
HubUtil_ThreadId HubUtil_CurrentThreadId();

// Registers the calling thread as cancellable (Hub_InitializeStatics does it for
// the thread that initialises the library). Registering twice changes nothing.
void HubUtil_InitMainThread();

// Starts a detached thread running function(argument), registered as
// cancellable before it runs; its id is stored in *id before it starts.
// Fatal when the thread cannot be started.
void HubUtil_ThreadCreate(HubUtil_ThreadId* id, HubUtil_ThreadFunction function, void* argument);

// Pushes a cleanup handler on the calling thread's stack (fatal when memory
// runs out).
void HubUtil_ThreadPushCleanup(HubUtil_CleanupHandler handler, void* argument);
// Pops the top handler, calling it first when `run` is non-zero. 0, or 1 when
// the stack was empty (nothing is called).
int HubUtil_ThreadPopCleanup(int run);

// Marks a registered thread for cancellation: 0, or 1 when the id is not registered.
int HubUtil_RequestThreadCancel(HubUtil_ThreadId id);
// 0 running, 1 cancellation requested, -1 not registered.
int HubUtil_ThreadCancelState(HubUtil_ThreadId id);
// Removes a thread from the cancellable threads.
void HubUtil_ForgetThread(HubUtil_ThreadId id);
// A cancellation point: ends the calling thread when it is marked; otherwise
// gives its state (0, or -1 when not registered).
int HubUtil_ThreadTestCancel();
// Ends the calling thread here, running its cleanup handlers.
[[noreturn]] void HubUtil_ExitCurrentThread();

// A cancellation point, then a sleep of that many milliseconds.
void HubUtil_SleepMillis(int milliseconds);

// An event that waiting threads are woken by. A pulse wakes every thread that
// entered HubUtil_WaitThreadEvent before it, and is never lost for them; it
// does not stay set for later waiters. Waiters re-check their condition.
struct HubUtil_ThreadEvent;
struct HubUtil_LocalMutex;

HubUtil_ThreadEvent* HubUtil_CreateThreadEvent();
void HubUtil_CloseThreadEvent(HubUtil_ThreadEvent* event);  // null is ignored
void HubUtil_PulseThreadEvent(HubUtil_ThreadEvent* event);
// The caller holds `mutex` exactly once (fatal otherwise: waiting with it held
// more often would deadlock). A cancellation point with the mutex still held
// (the handlers release it); then leaves the mutex, waits for the next pulse
// without time limit, and takes the mutex again.
void HubUtil_WaitThreadEvent(HubUtil_ThreadEvent* event, HubUtil_LocalMutex* mutex);
