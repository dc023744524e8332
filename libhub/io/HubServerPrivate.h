// Shared by the files of the connection layer (HubServer.cpp and the
// listener, hub contact, connection poll and settings files); not for users
// of the library. Everything here runs under the rules of HubServer.h.
#pragma once
#include <cstdint>

#include "libhub/io/HubServer.h"
#include "libhub/io/SockQueue.h"

struct HubUtil_LocalMutex;
struct Hub_ValueQueue;

namespace hubserver {

inline constexpr char kLocation[] = "libhub/io/hub_server";
inline constexpr char kNoMemory[] = "Error alloc'ing memory for the connection layer";

// Takes a process-wide lock so that a thread cancelled while holding it
// releases it; Unlock leaves the lock taken last.
void Lock(HubUtil_LocalMutex* mutex);
void Unlock();
// The connection-layer lock (made on first use).
void LockLayer();

// ---- callbacks ----

// Runs the callbacks of the event in order, by the rules of CallbackList.h: a
// callback may add callbacks (they run in the same run) or remove them (those
// not run yet are not run).
void RunCallbacks(Hub_ValueQueue* list, int event, void* argument);
void RunServerCallbacks(HubIO_Server* server, int event, void* argument);

// ---- records ----

// A live connection record over the socket (may be -1), handshake state 0.
HubIO_Connection* NewConnection(HubUtil_Socket socket, const char* peerHost);
// True for a live server (not a placeholder, not destroyed).
bool Settable(const HubIO_Server* server);
void FreeHubLocations(HubIO_HubLocation* hubs);

// ---- messages ----

// The next new message through the connection's read hook: a frame the
// reader drops or parks (a reply nobody waits for) leaves the complete input
// messages behind it for another look in the same call, so that a poll never
// handles only one of them. The read hook's result.
int ReadNextMessage(HubIO_Connection* connection, Hub_Frame** frame);
// Accepts any frame (a reader's filter).
int AnyFrame(int32_t messageType, void* value, int32_t size, int32_t elementType, void* data);
// The warning that the peer sent nothing within `limitMs` while the
// connection was being set up, and that it is dropped.
void WarnNoSetupMessage(const HubIO_Connection* connection, int limitMs);
// Sends an error frame ":errno" 6 as message type 6 and waits until it is written.
void SendError(HubIO_Connection* connection, const char* description);
// HubIO_SendAndAwaitReply with a time limit for the reply (negative: none).
Hub_Frame* SendAndAwait(HubIO_Connection* connection, Hub_Frame* frame, int32_t* messageType,
                        const char* key, int limitMs);

// ---- the poll tasks, as server callbacks ----

void StartListenerPoll(void* owner, void* data, void* argument);
void StopListenerPoll(void* owner, void* data, void* argument);
void StartHubPoll(void* owner, void* data, void* argument);
void StopHubPoll(void* owner, void* data, void* argument);
// Set-up callback of a polling server: the connection's poll task, the
// callback that stops it, and the one that starts in-broker polls.
void StartConnectionPoll(void* owner, void* data, void* argument);
// Runs the listener-closing callbacks and closes the listener socket.
void CloseListener(HubIO_Server* server);

}  // namespace hubserver
