#include "libhub/io/HubServer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "libhub/frames/PrintUtil.h"
#include "libhub/io/BinaryIO.h"
#include "libhub/io/DispatchTable.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Mutex.h"
#include "libhub/util/NameSplit.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "libhub/util/TimedTasks.h"
#include "libhub/util/ValueQueue.h"

namespace {

const char kLocation[] = "libhub/io/hub_server";
const char kNoMemory[] = "Error alloc'ing memory for the connection layer";

HubUtil_LocalMutex* g_layerLock = nullptr;       // connection lists, accepting, hub contact, destroying
HubUtil_LocalMutex* g_indexLock = nullptr;       // the transaction index
HubUtil_LocalMutex* g_propertiesLock = nullptr;  // server properties
int32_t g_transactionIndex = 0;
std::atomic<int> g_setupReadLimit{HUBIO_SETUP_READ_LIMIT_MS};

void ReplaceText(char** target, const char* text) {
  char* copy = HubUtil_CopyText(text, kNoMemory);
  free(*target);
  *target = copy;
}

// Takes a process-wide lock so that a thread cancelled while holding it
// releases it; Unlock leaves it.
void Lock(HubUtil_LocalMutex* mutex) {
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, mutex);
  HubUtil_LockMutex(mutex);
}
void Unlock() { HubUtil_ThreadPopCleanup(1); }

void LockLayer() {
  HubIO_InitServerStatics();
  Lock(g_layerLock);
}

// ---- callbacks ----

Hub_ValueQueue* NewCallbackList() { return Hub_ValueQueueCreate(0, 1, free); }

HubIO_Callback* AddCallback(Hub_ValueQueue* list, int event, HubIO_CallbackFunction function,
                            void* data, void* owner) {
  auto* callback =
      static_cast<HubIO_Callback*>(HubUtil_AllocateZeroed(1, sizeof(HubIO_Callback), kNoMemory));
  *callback = {function, data, event, owner};
  Hub_ValueQueueAppend(list, callback);
  return callback;
}

int SameValue(void* value, void* wanted) { return value == wanted; }

// Safe inside a run of the same list: the callback is then only marked as
// removed, and the run does not call it any more.
void RemoveCallback(Hub_ValueQueue* list, HubIO_Callback* callback) {
  if (list && callback && Hub_ValueQueueTakeMatching(list, SameValue, callback)) free(callback);
}

int CollectCallback(void* value, void* argument) {
  static_cast<std::vector<HubIO_Callback>*>(argument)->push_back(
      *static_cast<HubIO_Callback*>(value));
  return 1;
}

struct CallbackRun {
  int event;
  void* argument;
};

int CallCallback(void* value, void* data) {
  auto* callback = static_cast<HubIO_Callback*>(value);
  auto* run = static_cast<CallbackRun*>(data);
  if (callback->event == run->event && callback->function) {
    callback->function(callback->owner, callback->data, run->argument);
  }
  return 1;
}

// Runs the callbacks of the event in order, by the rules of a value-queue
// visit: a callback may add callbacks (they run in the same run) or remove
// them (those not run yet are not run).
void RunCallbacks(Hub_ValueQueue* list, int event, void* argument) {
  CallbackRun run{event, argument};
  Hub_ValueQueueVisit(list, CallCallback, &run);
}

Hub_ValueQueue* ServerCallbackList(HubIO_Server* server, int event) {
  switch (event) {
    case HUBIO_LISTENER_OPENED_EVENT:
      return server->listenerOpenedCallbacks;
    case HUBIO_LISTENER_CLOSING_EVENT:
      return server->listenerClosingCallbacks;
    case HUBIO_HUB_CONTACT_EVENT:
      return server->hubContactCallbacks;
    case HUBIO_SERVER_DESTROYED_EVENT:
      return server->destroyCallbacks;
    case HUBIO_CONNECTION_SETUP_EVENT:
      return server->setupCallbacks;
    default:
      return nullptr;
  }
}

Hub_ValueQueue* ConnectionCallbackList(HubIO_Connection* connection, int event) {
  switch (event) {
    case HUBIO_SOCKET_CLOSING_EVENT:
      return connection->closingCallbacks;
    case HUBIO_CONNECTION_DESTROYED_EVENT:
      return connection->destroyCallbacks;
    case HUBIO_IN_BROKER_SETUP_EVENT:
    case HUBIO_IN_BROKER_EVENT:
      return connection->inBrokerCallbacks;
    case HUBIO_OUT_BROKER_SETUP_EVENT:
    case HUBIO_OUT_BROKER_EVENT:
      return connection->outBrokerCallbacks;
    case HUBIO_DISPATCH_EVENT:
      return connection->dispatchCallbacks;
    default:
      return nullptr;
  }
}

void RunServerCallbacks(HubIO_Server* server, int event, void* argument) {
  RunCallbacks(ServerCallbackList(server, event), event, argument);
}

// ---- connection records ----

int DefaultRead(HubIO_Connection* connection, Hub_Frame** frame) {
  return HubIO_ReadNewMessage(connection->queue, frame, 0);
}

void DefaultReleaseFrames(HubIO_Connection*, Hub_Frame* reply, Hub_Frame* message) {
  if (reply != message) Hub_DestroyFrame(reply);
  Hub_DestroyFrame(message);
}

Hub_Frame* DefaultSendAndAwait(HubIO_Connection* connection, Hub_Frame* frame,
                               int32_t* messageType) {
  return HubIO_SendAndAwaitReply(connection, frame, messageType, ":reply_requested");
}

// Reads one new message and hands it to the message handler. A frame the
// reader defers (a reply nobody waits for) leaves the next input message for
// another look in the same call.
int DefaultDispatch(HubIO_Connection* connection) {
  Hub_Frame* frame = nullptr;
  int read = 0;
  do {
    read = connection->read(connection, &frame);
  } while (read == 0 && Hub_ValueQueueHasItems(connection->queue->input));
  if (read <= 0) return read;
  if (!connection->messageHandler) {
    Hub_DestroyFrame(frame);
    return 1;
  }
  return connection->messageHandler(connection, frame) < 0 ? -1 : 1;
}

// ---- replies being awaited ----

void AddAwaited(HubIO_Connection* connection, int32_t index) {
  HubUtil_LockMutex(connection->lock);
  auto* grown = static_cast<int32_t*>(
      realloc(connection->awaitedIndices, (connection->awaitedCount + 1) * sizeof(int32_t)));
  HubUtil_Assert(grown != nullptr, kNoMemory);
  connection->awaitedIndices = grown;
  connection->awaitedIndices[connection->awaitedCount++] = index;
  HubUtil_UnlockMutex(connection->lock);
}

void RemoveAwaited(HubIO_Connection* connection, int32_t index) {
  HubUtil_LockMutex(connection->lock);
  int32_t* indices = connection->awaitedIndices;
  int32_t* end = indices + connection->awaitedCount;
  int32_t* found = std::find(indices, end, index);
  if (found != end) {
    std::copy(found + 1, end, found);
    --connection->awaitedCount;
  }
  HubUtil_UnlockMutex(connection->lock);
}

// The keep filter of a connection's queue: a new message waits for the
// dispatcher, a reply for the reader that awaits its index; nothing else is
// ever taken.
int KeepForLater(int32_t messageType, void* frame, int32_t size, int32_t elementType,
                 void* data) {
  if (messageType == HUB_MESSAGE_MSG_TYPE) return 1;
  auto* connection = static_cast<HubIO_Connection*>(data);
  HubUtil_LockMutex(connection->lock);
  int keep = 0;
  for (int32_t i = 0; i < connection->awaitedCount && !keep; ++i) {
    keep = HubIO_ReplyFilter(messageType, frame, size, elementType,
                             &connection->awaitedIndices[i]);
  }
  HubUtil_UnlockMutex(connection->lock);
  return keep;
}

HubIO_Connection* NewConnection(HubUtil_Socket socket, const char* peerHost) {
  auto* connection = static_cast<HubIO_Connection*>(
      HubUtil_AllocateZeroed(1, sizeof(HubIO_Connection), kNoMemory));
  connection->state = HUBIO_CONNECTION_LIVE;
  connection->queue =
      HubIO_CreateSockObjectQueue(socket, HUBIO_CONNECTION_QUEUE_SIZE, HUBIO_CONNECTION_QUEUE_SIZE);
  connection->queue->maxMessageLength = HUBIO_MAX_HUB_MESSAGE_LENGTH;
  connection->queue->keepDeferred = KeepForLater;
  connection->queue->keepData = connection;
  connection->socket = socket;
  connection->port = 65535;
  connection->peerHost = HubUtil_CopyText(peerHost, kNoMemory);
  connection->closingCallbacks = NewCallbackList();
  connection->destroyCallbacks = NewCallbackList();
  connection->inBrokerCallbacks = NewCallbackList();
  connection->outBrokerCallbacks = NewCallbackList();
  connection->dispatchCallbacks = NewCallbackList();
  connection->read = DefaultRead;
  connection->releaseFrames = DefaultReleaseFrames;
  connection->write = HubIO_ConnectionWriteFrame;
  connection->sendAndAwait = DefaultSendAndAwait;
  connection->dispatch = DefaultDispatch;
  connection->lock = HubUtil_CreateLocalMutex();
  connection->hubLocation = -1;
  return connection;
}

void DestroyCallbackLists(HubIO_Connection* connection) {
  Hub_ValueQueue** lists[] = {&connection->closingCallbacks, &connection->destroyCallbacks,
                              &connection->inBrokerCallbacks, &connection->outBrokerCallbacks,
                              &connection->dispatchCallbacks};
  for (Hub_ValueQueue** list : lists) {
    Hub_ValueQueueDestroy(*list);
    *list = nullptr;
  }
}

void FreeConnection(HubIO_Connection* connection) {
  free(connection->peerHost);
  free(connection->awaitedIndices);
  HubUtil_DestroyLocalMutex(connection->lock);
  free(connection);
}

void CloseConnectionSocket(HubIO_Connection* connection) {
  RunCallbacks(connection->closingCallbacks, HUBIO_SOCKET_CLOSING_EVENT, nullptr);
  if (connection->socket != HUBUTIL_INVALID_SOCKET) {
    HubUtil_ShutdownSocket(connection->socket);
    HubUtil_CloseSocket(connection->socket);
    connection->socket = HUBUTIL_INVALID_SOCKET;
  }
  if (connection->queue) HubIO_SockObjectQueueReset(connection->queue);
}

// ---- reads with a time limit (set-up) ----

// One frame the filter accepts, waiting at most `limitMs` (negative: no
// limit): 1 with the frame, -1 on an error or at the limit (after a warning).
int ReadFrameWithin(HubIO_Connection* connection, Hub_Frame** frame, int32_t* messageType,
                    HubIO_MessageFilter filter, void* filterData, int limitMs) {
  if (limitMs < 0) {
    return HubIO_SockObjectQueueReadFrame(connection->queue, frame, messageType, filter,
                                          filterData, 1) > 0
               ? 1
               : -1;
  }
  int64_t deadline = HubUtil_MonotonicMillis() + limitMs;
  for (;;) {
    int read = HubIO_SockObjectQueueReadFrame(connection->queue, frame, messageType, filter,
                                              filterData, 0);
    if (read != 0) return read;
    if (connection->queue->disconnected) return -1;
    int64_t left = deadline - HubUtil_MonotonicMillis();
    if (left <= 0) {
      HubUtil_PrintWarningAt(kLocation,
                             "No message from %s within %d ms while setting up the "
                             "connection; dropping it",
                             connection->peerHost ? connection->peerHost : "<unknown>", limitMs);
      return -1;
    }
    // A message the filter parked may have left complete ones behind it,
    // already read from the socket: look at them before waiting for more.
    if (Hub_ValueQueueHasItems(connection->queue->input)) continue;
    HubUtil_SocketSet readable;
    HubUtil_SocketSetClear(&readable);
    HubUtil_SocketSetAdd(&readable, connection->socket);
    int interrupted = 0;
    HubUtil_Select(&readable, nullptr, nullptr, static_cast<int>(left), &interrupted);
  }
}

int AnyFrame(int32_t, void*, int32_t, int32_t, void*) { return 1; }

Hub_Frame* LocalError(int32_t* messageType, int32_t errorNumber, const char* text) {
  HubUtil_PrintWarningAt(kLocation, "%s", text);
  if (messageType) *messageType = HUB_ERROR_MSG_TYPE;
  return HubIO_MakeErrorFrame(errorNumber, text);
}

// Send and await with a time limit for the reply (negative: none).
Hub_Frame* SendAndAwait(HubIO_Connection* connection, Hub_Frame* frame, int32_t* messageType,
                        const char* key, int limitMs) {
  if (!frame) return LocalError(messageType, 5, "Did not dispatch NULL frame");
  int32_t wanted = key ? HubIO_StampMessage(frame, key) : -1;
  HubIO_TraceConnectionMessage(kLocation, "Sending new message to %s\n", connection, frame);
  if (!connection) return LocalError(messageType, 2, "Failed to send new message");
  // Awaited from before the write: the reply may come at once.
  AddAwaited(connection, wanted);
  Hub_Frame* reply = nullptr;
  int32_t type = 0;
  int read = -1;
  bool sent = connection->write(connection, frame, HUB_MESSAGE_MSG_TYPE, 1) >= 0;
  if (sent) read = ReadFrameWithin(connection, &reply, &type, HubIO_ReplyFilter, &wanted, limitMs);
  RemoveAwaited(connection, wanted);
  if (!sent) return LocalError(messageType, 2, "Failed to send new message");
  if (read <= 0) return LocalError(messageType, 3, "Failed to read reply frame");
  if (type == HUB_REPLY_MSG_TYPE || type == HUB_ERROR_MSG_TYPE) {
    HubIO_TraceConnectionMessage(kLocation, "Received reply from %s\n", connection, nullptr);
    if (messageType) *messageType = type;
    return reply;
  }
  HubUtil_PrintWarningAt(kLocation,
                         type == HUB_DESTROY_MSG_TYPE
                             ? "Got incomprehensible destroy request as message reply; ignoring\n"
                             : "Got incomprehensible message as message reply; ignoring\n");
  Hub_DestroyFrame(reply);
  if (messageType) *messageType = type;
  return nullptr;
}

// ---- the listener ----

void CloseListener(HubIO_Server* server) {
  if (server->listenerSocket == HUBUTIL_INVALID_SOCKET) return;
  RunServerCallbacks(server, HUBIO_LISTENER_CLOSING_EVENT, nullptr);
  HubUtil_ShutdownSocket(server->listenerSocket);
  HubUtil_CloseSocket(server->listenerSocket);
  server->listenerSocket = HUBUTIL_INVALID_SOCKET;
}

// Sends an error frame as message type 6 and waits until it is written.
void SendError(HubIO_Connection* connection, const char* description) {
  Hub_Frame* error = HubIO_MakeErrorFrame(6, description);
  connection->write(connection, error, HUB_ERROR_MSG_TYPE, 1);
  Hub_DestroyFrame(error);
}

int CountOpen(void* value, void* count) {
  auto* connection = static_cast<HubIO_Connection*>(value);
  if (!connection->done && !HubUtil_SocketPeerClosed(connection->socket)) {
    ++*static_cast<int32_t*>(count);
  }
  return 1;
}

// Under the connection-layer lock: true when the server holds as many
// connections as it takes. A connection whose peer has closed counts as gone
// already, though its poll has not yet seen the close.
bool AtLimit(HubIO_Server* server) {
  int32_t open = 0;
  Hub_ValueQueueVisit(server->connections, CountOpen, &open);
  return open >= server->maxConnections;
}

void DropPending(HubIO_Server* server, HubIO_Connection* connection) {
  LockLayer();
  Hub_ValueQueueRemove(server->pending, connection);
  Unlock();
  connection->done = 1;
  HubIO_DestroyConnection(connection);
}

// The server's answer to the first frame of a new connection: true when the
// connection was added to the server.
bool AnswerHandshake(HubIO_Server* server, HubIO_Connection* connection, Hub_Frame* first) {
  int32_t type = Hub_GetFrameInt(first, ":conn_type");
  Hub_DestroyFrame(first);
  if (type != 1) {
    SendError(connection, type == 2 ? "no match for broker" : "unsupported connection type");
    return false;
  }
  LockLayer();
  bool added = false;
  if (AtLimit(server)) {
    SendError(connection, "max connections exceeded");
  } else {
    Hub_Frame* handshake = HubIO_ServerHandshakeFrame(server);
    added = connection->write(connection, handshake, HUB_REPLY_MSG_TYPE, 1) >= 0;
    Hub_DestroyFrame(handshake);
  }
  if (added) {
    Hub_ValueQueueRemove(server->pending, connection);
    connection->handshakeState = HUBIO_HANDSHAKE_DONE;
    HubIO_AddConnectionToServer(server, connection);
  }
  Unlock();
  return added;
}

// Polls a new connection for its first frame without waiting, until the set-up
// time limit has passed; the loop serves everything else meanwhile.
void HandshakeTask(Hub_TimedTask* task) {
  auto* connection = static_cast<HubIO_Connection*>(Hub_TaskData(task));
  HubIO_Server* server = connection->server;
  Hub_Frame* first = nullptr;
  int read = HubIO_SockObjectQueueReadFrame(connection->queue, &first, nullptr, AnyFrame, nullptr, 0);
  if (read == 0 && !connection->queue->disconnected) {
    int64_t left = connection->setupDeadlineMs - HubUtil_MonotonicMillis();
    if (left > 0) {
      Hub_RearmSocketTask(task, connection, static_cast<int>(std::min<int64_t>(left, server->pollInterval)),
                          0, &connection->socket, nullptr, nullptr);
      return;
    }
    HubUtil_PrintWarningAt(kLocation,
                           "No message from %s within %d ms while setting up the connection; "
                           "dropping it",
                           connection->peerHost, HubIO_SetupReadLimit());
  }
  if (read <= 0 || !AnswerHandshake(server, connection, first)) DropPending(server, connection);
}

// Accepts one peer when one is waiting. At the connection limit it is refused
// at once; otherwise its handshake is read by a task of its own.
void PollListener(HubIO_Server* server) {
  if (server->listenerSocket == HUBUTIL_INVALID_SOCKET) {
    HubUtil_PrintWarningAt(kLocation, "Can't listen because server socket is not open! (pid %d)",
                           HubUtil_ProcessId());
    server->listenerStatus = HUBIO_LISTENER_FAILED;
    return;
  }
  char peer[HUBUTIL_IPV4_TEXT_SIZE] = "";
  HubUtil_Socket accepted = HUBUTIL_INVALID_SOCKET;
  int result = HubUtil_Accept(server->listenerSocket, peer, &accepted, server->blockingAccept);
  if (result < 0) {
    HubUtil_PrintWarningAt(kLocation,
                           "Encountered error while checking for incoming server connections");
    server->listenerStatus = HUBIO_LISTENER_FAILED;
    return;
  }
  if (result == 0) return;
  HubUtil_PrintAtLevel(1, "Accepted connection from %s (socket %d)\n", peer, accepted);
  HubUtil_SetNonBlocking(accepted);
  HubIO_Connection* connection = NewConnection(accepted, peer);
  LockLayer();
  bool full = AtLimit(server);
  if (!full) {
    connection->server = server;
    Hub_ValueQueueAppend(server->pending, connection);
  }
  Unlock();
  if (full) {
    SendError(connection, "max connections exceeded");
    connection->done = 1;
    HubIO_DestroyConnection(connection);
    return;
  }
  connection->setupDeadlineMs = HubUtil_MonotonicMillis() + HubIO_SetupReadLimit();
  Hub_CreateHandledSocketTask(&connection->pollTask, HandshakeTask, connection, 0, 0,
                              &connection->socket, nullptr, nullptr);
}

void ListenerPollTask(Hub_TimedTask* task) {
  auto* server = static_cast<HubIO_Server*>(Hub_TaskData(task));
  server->blockingAccept = Hub_TaskRunAtOnce(task);
  if (server->listenerStatus == HUBIO_LISTENER_FAILED) {
    HubIO_OpenListener(server, "HubIO_ListenerPoll");
  }
  if (server->listenerStatus == HUBIO_LISTENER_OPEN) PollListener(server);
  if (server->listenerStatus == HUBIO_LISTENER_CLOSED) {
    HubIO_DestroyServer(server);
    return;
  }
  Hub_RearmSocketTask(task, server, server->pollInterval, Hub_TaskRunAtOnce(task),
                      &server->listenerSocket, nullptr, nullptr);
}

// ---- hub contact ----

bool ContactHandshake(HubIO_Server* server, HubIO_Connection* connection) {
  Hub_Frame* handshake = HubIO_ServerHandshakeFrame(server);
  int32_t type = 0;
  Hub_Frame* reply = SendAndAwait(connection, handshake, &type, nullptr, g_setupReadLimit);
  Hub_DestroyFrame(handshake);
  bool done = reply && type == HUB_REPLY_MSG_TYPE;
  if (!reply) {
    HubUtil_PrintWarningAt(kLocation,
                           "Failed to complete initial handshake while establishing connection");
  } else if (!done) {
    int32_t number = Hub_GetFrameInt(reply, ":errno");
    const char* description = Hub_GetFrameString(reply, ":err_description");
    if (number == 2) {
      HubUtil_PrintWarningAt(kLocation, "Couldn't send handshake frame while establishing connection");
    } else if (number == 3) {
      HubUtil_PrintWarningAt(kLocation,
                             "Couldn't read handshake response while establishing connection");
    } else if (number == 5) {
      HubUtil_PrintWarningAt(kLocation,
                             "No handshake response frame provided while establishing connection");
    } else if (description) {
      HubUtil_PrintWarningAt(kLocation, "%s", description);
    } else {
      HubUtil_PrintWarningAt(kLocation,
                             "Encountered unknown handshake error %d while establishing connection\n",
                             number);
    }
  }
  Hub_DestroyFrame(reply);
  if (done) connection->handshakeState = HUBIO_HANDSHAKE_DONE;
  return done;
}

// Under the connection-layer lock: tries every hub not connected.
void ContactHubs(HubIO_Server* server) {
  for (int32_t i = 0; server->hubs && server->hubs[i].host; ++i) {
    HubIO_HubLocation* hub = &server->hubs[i];
    if (hub->state == HUBIO_HUB_CONNECTED) continue;
    HubIO_Connection* connection = HubIO_CreateClientConnection(
        hub->host, hub->port, server->listener->messageHandler, 0);
    if (connection && ContactHandshake(server, connection)) {
      connection->hubLocation = i;
      HubIO_AddConnectionToServer(server, connection);
      hub->state = HUBIO_HUB_CONNECTED;
      HubUtil_PrintAtLevel(1, "Connected to hub at host %s and port %d\n", hub->host, hub->port);
      continue;
    }
    if (connection) {
      connection->done = 1;
      HubIO_DestroyConnection(connection);
    }
    HubUtil_PrintWarningAt(kLocation, "Couldn't contact hub at host %s and port %d", hub->host,
                           hub->port);
    hub->state = HUBIO_HUB_FAILED;
  }
}

void HubPollTask(Hub_TimedTask* task) {
  auto* server = static_cast<HubIO_Server*>(Hub_TaskData(task));
  LockLayer();
  ContactHubs(server);
  Unlock();
  Hub_RearmTaskSimple(task, server, HUBIO_HUB_POLL_FACTOR * server->pollInterval,
                      Hub_TaskRunAtOnce(task), nullptr);
}

void FreeHubLocations(HubIO_HubLocation* hubs) {
  for (int32_t i = 0; hubs && hubs[i].host; ++i) free(hubs[i].host);
  free(hubs);
}

// ---- the connection poll ----

// The first message of a connection: 1 handled (go on with the messages),
// 0 nothing yet, -1 the connection is to be destroyed.
int HandleFirstMessage(HubIO_Connection* connection) {
  Hub_Frame* frame = nullptr;
  int read = connection->read(connection, &frame);
  if (read < 0) {
    HubUtil_PrintWarningAt(kLocation, "Encountered error reading from connection queue");
    connection->done = 1;
    return -1;
  }
  if (read == 0) return 0;
  char* operation = Hub_SplitOperationName(Hub_FrameName(frame), nullptr);
  bool isReinitialize = operation && strcmp(operation, "reinitialize") == 0;
  free(operation);
  Hub_DispatchLookup lookup;
  bool tableHasReinitialize =
      Hub_FindOperation(connection->dispatchTable, "reinitialize", &lookup) != 0;
  if (tableHasReinitialize && !isReinitialize) {
    Hub_DestroyFrame(frame);
    SendError(connection, "first message must be reinitialize");
    connection->done = 1;
    return -1;
  }
  connection->handshakeState = HUBIO_FIRST_MESSAGE_HANDLED;
  if (!tableHasReinitialize && isReinitialize) {
    connection->write(connection, frame, HUB_REPLY_MSG_TYPE, 0);
    Hub_DestroyFrame(frame);
    return 1;
  }
  if (!connection->continuations) connection->continuations = Hub_ValueQueueCreate(0, 1, nullptr);
  if (connection->messageHandler) {
    if (connection->messageHandler(connection, frame) < 0) return -1;
  } else {
    Hub_DestroyFrame(frame);
  }
  return 1;
}

void StopConnectionPoll(void* owner, void*, void*) {
  Hub_RemoveHandledTask(&static_cast<HubIO_Connection*>(owner)->pollTask);
}

void ConnectionPollTask(Hub_TimedTask* task) {
  auto* connection = static_cast<HubIO_Connection*>(Hub_TaskData(task));
  HubIO_AddConnectionReference(connection);
  int atOnce = Hub_TaskRunAtOnce(task);
  int result = HubIO_PollConnection(connection, atOnce);
  if (connection->state != HUBIO_CONNECTION_LIVE) {
    // Destroyed while it was polled: the task is not re-armed and ends.
  } else if (result == 0) {
    Hub_RearmSocketTask(task, connection, connection->pollInterval, atOnce, &connection->socket,
                        nullptr, nullptr);
  } else {
    connection->done = 1;
    HubIO_DestroyConnection(connection);
  }
  HubIO_ReleaseConnectionReference(connection);
}

void StartInBrokerPoll(void*, void*, void* argument) {
  auto* request = static_cast<HubIO_PollRequest*>(argument);
  request->task = Hub_CreateSocketTask(request->function, request->data, request->interval, 0,
                                       request->socket, nullptr, nullptr);
}

// Set-up callback of a polling server: the connection's poll task, the
// callback that stops it, and the one that starts in-broker polls.
void StartConnectionPoll(void*, void*, void* argument) {
  auto* connection = static_cast<HubIO_Connection*>(argument);
  connection->pollCallback =
      HubIO_AddConnectionCallback(connection, HUBIO_SOCKET_CLOSING_EVENT, StopConnectionPoll, nullptr);
  HubIO_AddConnectionCallback(connection, HUBIO_IN_BROKER_SETUP_EVENT, StartInBrokerPoll, nullptr);
  Hub_CreateHandledSocketTask(&connection->pollTask, ConnectionPollTask, connection,
                              connection->pollInterval, 0, &connection->socket, nullptr, nullptr);
}

void StartListenerPoll(void* owner, void*, void*) {
  auto* server = static_cast<HubIO_Server*>(owner);
  if (Hub_HandledTask(&server->listenerTask)) return;  // a reopened listener keeps its task
  Hub_CreateHandledSocketTask(&server->listenerTask, ListenerPollTask, server,
                              server->pollInterval, 0, &server->listenerSocket, nullptr, nullptr);
}

void StopListenerPoll(void* owner, void*, void*) {
  Hub_RemoveHandledTask(&static_cast<HubIO_Server*>(owner)->listenerTask);
}

void StartHubPoll(void* owner, void*, void*) {
  auto* server = static_cast<HubIO_Server*>(owner);
  if (Hub_HandledTask(&server->hubTask)) return;
  Hub_CreateHandledSocketTask(&server->hubTask, HubPollTask, server, 0, 0, nullptr, nullptr,
                              nullptr);
}

void StopHubPoll(void* owner, void*, void*) {
  Hub_RemoveHandledTask(&static_cast<HubIO_Server*>(owner)->hubTask);
}

void StopLoop(void*, void*, void*) { Hub_StopTimedTaskLoop(0); }

bool Settable(const HubIO_Server* server) { return server && server->kind == HUBIO_SERVER_LIVE; }

}  // namespace

// ---- statics ----

void HubIO_InitServerStatics() {
  static std::once_flag done;
  std::call_once(done, [] {
    g_layerLock = HubUtil_CreateLocalMutex();
    g_indexLock = HubUtil_CreateLocalMutex();
    g_propertiesLock = HubUtil_CreateLocalMutex();
  });
}

void HubIO_SetSetupReadLimit(int milliseconds) { g_setupReadLimit = milliseconds; }
int HubIO_SetupReadLimit() { return g_setupReadLimit; }

// ---- servers ----

HubIO_Server* HubIO_CreateServer(uint16_t port, int requirePort, HubIO_MessageHandler handler,
                                 void* clientData, int pollInterval, int maxConnections) {
  HubIO_InitServerStatics();
  HubUtil_InstallSignalHandlers();
  auto* server =
      static_cast<HubIO_Server*>(HubUtil_AllocateZeroed(1, sizeof(HubIO_Server), kNoMemory));
  server->kind = HUBIO_SERVER_LIVE;
  server->maxConnections = maxConnections >= 1 ? maxConnections : 1;
  server->pollInterval = pollInterval == 0 ? HUBIO_DEFAULT_POLL_INTERVAL
                                           : (pollInterval < 0 ? -1 : pollInterval);
  server->connections = Hub_ValueQueueCreate(0, 1, nullptr);
  server->pending = Hub_ValueQueueCreate(0, 1, nullptr);
  server->listenerStatus = HUBIO_LISTENER_CLOSED;
  server->clientData = clientData;
  server->setupCallbacks = NewCallbackList();
  server->destroyCallbacks = NewCallbackList();
  server->flags = HUBIO_LISTEN_FOR_HUBS;
  server->listener = NewConnection(HUBUTIL_INVALID_SOCKET, nullptr);
  server->listener->messageHandler = handler;
  server->port = port;
  server->requirePort = requirePort ? 1 : 0;
  server->listenerSocket = HUBUTIL_INVALID_SOCKET;
  server->listenerOpenedCallbacks = NewCallbackList();
  server->listenerClosingCallbacks = NewCallbackList();
  server->hubContactCallbacks = NewCallbackList();
  server->properties = Hub_MakeFrameOfKind("server_properties", HUB_KIND_CLAUSE);
  server->extraServiceTypes = Hub_MakeListObject(nullptr, 0);
  return server;
}

HubIO_Server* HubIO_CreatePlaceholderServer() {
  auto* server =
      static_cast<HubIO_Server*>(HubUtil_AllocateZeroed(1, sizeof(HubIO_Server), kNoMemory));
  server->kind = HUBIO_SERVER_PLACEHOLDER;
  server->listenerSocket = HUBUTIL_INVALID_SOCKET;
  return server;
}

int HubIO_ServerIsPlaceholder(const HubIO_Server* server) {
  return server && server->kind == HUBIO_SERVER_PLACEHOLDER ? 1 : 0;
}

HubIO_Server* HubIO_StartServer(HubIO_Server* server) {
  if (!Settable(server)) return nullptr;
  if (server->pollInterval > 0) {
    HubIO_AddServerCallback(server, HUBIO_HUB_CONTACT_EVENT, StartHubPoll, nullptr);
    HubIO_AddServerCallback(server, HUBIO_LISTENER_OPENED_EVENT, StartListenerPoll, nullptr);
    server->listenerPoll =
        HubIO_AddServerCallback(server, HUBIO_SERVER_DESTROYED_EVENT, StopListenerPoll, nullptr);
    server->hubPoll =
        HubIO_AddServerCallback(server, HUBIO_SERVER_DESTROYED_EVENT, StopHubPoll, nullptr);
    HubIO_AddServerCallback(server, HUBIO_SERVER_DESTROYED_EVENT, StopLoop, nullptr);
    HubIO_AddServerCallback(server, HUBIO_CONNECTION_SETUP_EVENT, StartConnectionPoll, nullptr);
  }
  bool contacting = (server->flags & HUBIO_CONTACT_HUBS) != 0;
  if (contacting) RunServerCallbacks(server, HUBIO_HUB_CONTACT_EVENT, nullptr);
  if ((server->flags & HUBIO_LISTEN_FOR_HUBS) && HubIO_OpenListener(server, "HubIO_StartServer") < 0 &&
      !contacting) {
    server->freeOnDestroy = 1;
    HubIO_DestroyServer(server);
    return nullptr;
  }
  return server;
}

void HubIO_DestroyServer(HubIO_Server* server) {
  if (!server || server->kind == HUBIO_SERVER_DESTROYED) return;
  if (server->kind == HUBIO_SERVER_PLACEHOLDER) {
    HubIO_FreeServer(server);
    return;
  }
  if (Hub_TaskThreadCount() > 0) {
    HubUtil_PrintWarningAt(kLocation,
                           "Can't destroy server %s while its tasks run in threads of their own; "
                           "stop them and wait for them first",
                           server->name ? server->name : "<unknown>");
    return;
  }
  LockLayer();
  for (Hub_ValueQueue* list : {server->pending, server->connections}) {
    while (auto* connection = static_cast<HubIO_Connection*>(Hub_ValueQueueTakeFirst(list))) {
      if (list == server->connections) --server->connectionCount;
      connection->done = 1;
      HubIO_DestroyConnection(connection);
    }
  }
  CloseListener(server);
  Lock(g_propertiesLock);
  Hub_DestroyFrame(server->properties);
  server->properties = nullptr;
  Unlock();
  Hub_DestroyObject(server->extraServiceTypes);
  server->extraServiceTypes = nullptr;
  RunServerCallbacks(server, HUBIO_SERVER_DESTROYED_EVENT, nullptr);
  HubIO_SetServerData(server, nullptr, nullptr);
  Hub_FreeDispatchTable(server->listener->dispatchTable);
  HubIO_DestroySockObjectQueue(server->listener->queue);
  DestroyCallbackLists(server->listener);
  FreeConnection(server->listener);
  server->listener = nullptr;
  Hub_ValueQueue** lists[] = {&server->setupCallbacks, &server->destroyCallbacks,
                              &server->listenerOpenedCallbacks, &server->listenerClosingCallbacks,
                              &server->hubContactCallbacks};
  for (Hub_ValueQueue** list : lists) {
    Hub_ValueQueueDestroy(*list);
    *list = nullptr;
  }
  server->listenerPoll = nullptr;
  server->hubPoll = nullptr;
  server->kind = HUBIO_SERVER_DESTROYED;
  Unlock();
  if (server->freeOnDestroy) HubIO_FreeServer(server);
}

void HubIO_FreeServer(HubIO_Server* server) {
  if (!server) return;
  if (server->kind == HUBIO_SERVER_LIVE) {
    server->freeOnDestroy = 1;
    HubIO_DestroyServer(server);
    return;
  }
  free(server->name);
  free(server->sessionId);
  FreeHubLocations(server->hubs);
  Hub_ValueQueueDestroy(server->connections);
  Hub_ValueQueueDestroy(server->pending);
  free(server);
}

// ---- settings ----

void HubIO_SetServerNameAndPort(HubIO_Server* server, const char* name, uint16_t port) {
  HubIO_SetServerName(server, name);
  HubIO_SetServerPort(server, port);
}

void HubIO_SetServerName(HubIO_Server* server, const char* name) {
  if (server && server->kind != HUBIO_SERVER_DESTROYED) ReplaceText(&server->name, name);
}

void HubIO_SetServerPort(HubIO_Server* server, uint16_t port) {
  if (server && server->kind != HUBIO_SERVER_DESTROYED) server->port = port;
}

void HubIO_SetServerRequirePort(HubIO_Server* server, int requirePort) {
  if (Settable(server)) server->requirePort = requirePort ? 1 : 0;
}

void HubIO_SetServerMaxConnections(HubIO_Server* server, int maxConnections) {
  if (Settable(server) && maxConnections >= 1 && maxConnections >= server->connectionCount) {
    server->maxConnections = maxConnections;
  }
}

void HubIO_SetServerFlags(HubIO_Server* server, int flags) {
  if (Settable(server)) server->flags = flags;
}

void HubIO_SetServerHubList(HubIO_Server* server, const char* hubList) {
  if (!Settable(server)) return;
  FreeHubLocations(server->hubs);
  server->hubs = nullptr;
  std::vector<HubIO_HubLocation> hubs;
  const char* cursor = hubList ? hubList : "";
  while (*cursor) {
    size_t length = strcspn(cursor, " \t");
    if (length > 0) {
      char* piece = strndup(cursor, length);
      HubUtil_Assert(piece != nullptr, kNoMemory);
      int port = -1;
      char* host = Hub_SplitHostPort(piece, &port);
      if (port < 0) {
        HubUtil_PrintWarningAt(kLocation, "Incomplete Hub location %s. Skipping\n", piece);
        free(host);
      } else {
        hubs.push_back({host, static_cast<uint16_t>(port), HUBIO_HUB_NEVER_TRIED});
      }
      free(piece);
    }
    cursor += length;
    cursor += strspn(cursor, " \t");
  }
  if (hubs.empty()) return;
  server->hubs = static_cast<HubIO_HubLocation*>(
      HubUtil_AllocateZeroed(hubs.size() + 1, sizeof(HubIO_HubLocation), kNoMemory));
  std::copy(hubs.begin(), hubs.end(), server->hubs);
}

void HubIO_SetServerSessionId(HubIO_Server* server, const char* sessionId) {
  if (Settable(server)) ReplaceText(&server->sessionId, sessionId);
}

void HubIO_SetServerValidate(HubIO_Server* server, int validate) {
  if (Settable(server)) server->listener->validate = validate ? 1 : 0;
}

void HubIO_SetServerData(HubIO_Server* server, void* data, HubIO_DataFree freeData) {
  if (!server || server->kind == HUBIO_SERVER_PLACEHOLDER) return;
  if (server->clientData && server->clientDataFree && server->clientData != data) {
    server->clientDataFree(server->clientData);
  }
  server->clientData = data;
  server->clientDataFree = freeData;
}

void HubIO_SetServerDispatchTable(HubIO_Server* server, Hub_DispatchTable* table) {
  if (!Settable(server)) {
    // A placeholder only learns the name: the table it is given is not kept.
    if (server && server->kind == HUBIO_SERVER_PLACEHOLDER) Hub_FreeDispatchTable(table);
    return;
  }
  if (server->listener->dispatchTable != table) Hub_FreeDispatchTable(server->listener->dispatchTable);
  server->listener->dispatchTable = table;
}

const char* HubIO_ServerName(const HubIO_Server* server) { return server ? server->name : nullptr; }
uint16_t HubIO_ServerPort(const HubIO_Server* server) { return server ? server->port : 0; }

int HubIO_ServerListeningPort(const HubIO_Server* server) {
  return server && server->listenerSocket != HUBUTIL_INVALID_SOCKET ? server->listeningPort : -1;
}

int HubIO_ServerFlags(const HubIO_Server* server) { return server ? server->flags : 0; }
int HubIO_ServerMaxConnections(const HubIO_Server* server) {
  return server ? server->maxConnections : 0;
}

int HubIO_ServerConnectionCount(HubIO_Server* server) {
  if (!server) return 0;
  LockLayer();
  int count = server->connectionCount;
  Unlock();
  return count;
}

void* HubIO_ServerData(const HubIO_Server* server) { return server ? server->clientData : nullptr; }

int HubIO_ServerPolls(const HubIO_Server* server) {
  return server && server->pollInterval > 0 ? 1 : 0;
}

Hub_DispatchTable* HubIO_GetServerDispatchTable(const HubIO_Server* server) {
  return server && server->listener ? server->listener->dispatchTable : nullptr;
}

Hub_Frame* HubIO_ServerHandshakeFrame(HubIO_Server* server) {
  Hub_Frame* frame = Hub_MakeFrameOfKind(server->name, HUB_KIND_CLAUSE);
  if (server->sessionId) {
    Hub_SetFrameProperty(frame, ":session_id", Hub_MakeStringObject(server->sessionId));
  }
  Hub_SetFrameProperty(frame, ":signatures", Hub_CopySignatureList(HubIO_GetServerDispatchTable(server)));
  Lock(g_propertiesLock);
  Hub_SetFrameProperty(frame, ":properties", Hub_MakeFrameObject(Hub_CopyFrame(server->properties)));
  Unlock();
  Hub_SetFrameProperty(frame, ":extra_service_types", Hub_DeepCopyObject(server->extraServiceTypes));
  Hub_SetFrameProperty(frame, ":protocol_version", Hub_MakeIntObject(1));
  return frame;
}

int HubIO_OpenListener(HubIO_Server* server, const char* location) {
  if (!Settable(server)) return -1;
  HubUtil_PrintTrace("%s: opening listener\n", location ? location : "reset_listener");
  CloseListener(server);
  if (server->port == 0) {
    HubUtil_PrintWarningAt(kLocation, "Cannot listen on port %d", server->port);
    server->listenerStatus = HUBIO_LISTENER_CLOSED;
    return -1;
  }
  int port = server->port;
  HubUtil_Socket socket = HubUtil_ServerSocket(port, HUBIO_LISTEN_BACKLOG);
  while (socket == HUBUTIL_INVALID_SOCKET && !server->requirePort &&
         port < HUBIO_LAST_FALLBACK_PORT) {
    ++port;
    socket = HubUtil_ServerSocket(port, HUBIO_LISTEN_BACKLOG);
  }
  if (socket == HUBUTIL_INVALID_SOCKET) {
    HubUtil_PrintWarningAt(kLocation, "Failed to open listener on port %d (pid %d)", server->port,
                           HubUtil_ProcessId());
    server->listenerStatus = HUBIO_LISTENER_FAILED;
    return -1;
  }
  server->listenerSocket = socket;
  server->listeningPort = static_cast<uint16_t>(port);
  server->listenerStatus = HUBIO_LISTENER_OPEN;
  HubUtil_PrintAtLevel(1, "Opened listener on port %d\n", port);
  RunServerCallbacks(server, HUBIO_LISTENER_OPENED_EVENT, nullptr);
  return 0;
}

// ---- callbacks ----

HubIO_Callback* HubIO_AddServerCallback(HubIO_Server* server, int event,
                                        HubIO_CallbackFunction function, void* data) {
  Hub_ValueQueue* list = Settable(server) ? ServerCallbackList(server, event) : nullptr;
  if (!list) {
    HubUtil_PrintWarningAt(kLocation, "Can't record server callback for unknown event type\n");
    return nullptr;
  }
  return AddCallback(list, event, function, data, server);
}

void HubIO_RemoveServerCallback(HubIO_Server* server, HubIO_Callback* callback) {
  Hub_ValueQueue* list = Settable(server) && callback ? ServerCallbackList(server, callback->event)
                                                      : nullptr;
  if (!list) {
    HubUtil_PrintWarningAt(kLocation, "Can't remove connection callback for unknown event type\n");
    return;
  }
  RemoveCallback(list, callback);
}

HubIO_Callback* HubIO_AddConnectionCallback(HubIO_Connection* connection, int event,
                                            HubIO_CallbackFunction function, void* data) {
  Hub_ValueQueue* list = connection ? ConnectionCallbackList(connection, event) : nullptr;
  if (!list) {
    HubUtil_PrintWarningAt(kLocation, "Can't record connection callback for unknown event type\n");
    return nullptr;
  }
  return AddCallback(list, event, function, data, connection);
}

void HubIO_RemoveConnectionCallback(HubIO_Connection* connection, HubIO_Callback* callback) {
  Hub_ValueQueue* list =
      connection && callback ? ConnectionCallbackList(connection, callback->event) : nullptr;
  if (!list) {
    HubUtil_PrintWarningAt(kLocation, "Can't remove connection callback for unknown event type\n");
    return;
  }
  RemoveCallback(list, callback);
}

void HubIO_RunConnectionCallbacks(HubIO_Connection* connection, int event, void* argument) {
  if (connection) RunCallbacks(ConnectionCallbackList(connection, event), event, argument);
}

// ---- connections ----

void HubIO_TraceConnectionMessage(const char* location, const char* format,
                                  const HubIO_Connection* connection, const Hub_Frame* frame) {
  const char* peer = connection && connection->peerHost ? connection->peerHost : "<unknown>";
  if (HubUtil_GetVerbosity() >= 3) {
    HubUtil_PrintInfoAt(location, format, peer);
    if (frame) Hub_LogFrameBrief(frame, 3);
  } else {
    HubUtil_PrintAtLevel(2, format, peer);
  }
}

HubIO_Connection* HubIO_CreateClientConnection(const char* host, uint16_t port,
                                               HubIO_MessageHandler handler, int quiet) {
  if (!host) {
    HubUtil_PrintWarningAt(kLocation, "Can't set up client connection because hostname is NULL");
    return nullptr;
  }
  if (port == 0) {
    if (!quiet) {
      HubUtil_PrintWarningAt(kLocation, "Cannot contact host '%s' on invalid port %d", host, port);
    }
    return nullptr;
  }
  HubUtil_Socket socket = HubUtil_ClientSocket(host, port);
  if (socket == HUBUTIL_INVALID_SOCKET) {
    if (!quiet) {
      HubUtil_PrintWarningAt(kLocation, "Failed to connect to '%s' on port %d", host, port);
    }
    return nullptr;
  }
  HubUtil_SetNonBlocking(socket);
  HubIO_Connection* connection = NewConnection(socket, host);
  connection->port = port;
  connection->messageHandler = handler;
  return connection;
}

void HubIO_AddConnectionToServer(HubIO_Server* server, HubIO_Connection* connection) {
  LockLayer();
  Hub_ValueQueueAppend(server->connections, connection);
  ++server->connectionCount;
  connection->server = server;
  connection->pollInterval = server->pollInterval;
  connection->messageHandler = server->listener->messageHandler;
  connection->dispatchTable = server->listener->dispatchTable;
  connection->validate = server->listener->validate;
  // Copies of the listener record's destroy callbacks, owned by the connection.
  std::vector<HubIO_Callback> destroyCallbacks;
  Hub_ValueQueueVisit(server->listener->destroyCallbacks, CollectCallback, &destroyCallbacks);
  for (const HubIO_Callback& callback : destroyCallbacks) {
    AddCallback(connection->destroyCallbacks, callback.event, callback.function, callback.data,
                connection);
  }
  RunServerCallbacks(server, HUBIO_CONNECTION_SETUP_EVENT, connection);
  Unlock();
}

void* HubIO_ConnectionServerData(const HubIO_Connection* connection) {
  return connection ? HubIO_ServerData(connection->server) : nullptr;
}

HubIO_Server* HubIO_ConnectionServer(const HubIO_Connection* connection) {
  return connection ? connection->server : nullptr;
}

const char* HubIO_ConnectionPeerHost(const HubIO_Connection* connection) {
  return connection ? connection->peerHost : nullptr;
}

void HubIO_SetConnectionData(HubIO_Connection* connection, void* data, HubIO_DataFree freeData) {
  if (!connection) return;
  if (connection->clientData && connection->clientDataFree && connection->clientData != data) {
    connection->clientDataFree(connection->clientData);
  }
  connection->clientData = data;
  connection->clientDataFree = freeData;
}

int HubIO_ConnectionWriteFrame(HubIO_Connection* connection, const Hub_Frame* frame,
                               int32_t messageType, int wait) {
  if (!connection || connection->state != HUBIO_CONNECTION_LIVE ||
      connection->socket == HUBUTIL_INVALID_SOCKET) {
    HubUtil_PrintWarningAt(kLocation, "Can't write message because socket is not connected (pid %d)",
                           HubUtil_ProcessId());
    return -1;
  }
  int result = HubIO_WriteFrame(connection->queue, frame, messageType);
  while (wait && result == 1) {
    HubUtil_SleepMillis(1);
    result = HubIO_SockObjectQueueFlush(connection->queue);
  }
  return result;
}

int32_t HubIO_StampMessage(Hub_Frame* frame, const char* key) {
  Hub_Frame* hubData = Hub_GetFrameFrame(frame, ":hub_opaque_data");
  if (!hubData) {
    hubData = Hub_MakeFrameOfKind("admin_info", HUB_KIND_CLAUSE);
    Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeFrameObject(hubData));
  }
  HubIO_InitServerStatics();
  Lock(g_indexLock);
  int32_t index = g_transactionIndex++;
  Unlock();
  Hub_SetFrameProperty(hubData, key, Hub_MakeIntObject(1));
  Hub_SetFrameProperty(hubData, ":server_tidx", Hub_MakeIntObject(index));
  return index;
}

Hub_Frame* HubIO_SendAndAwaitReply(HubIO_Connection* connection, Hub_Frame* frame,
                                   int32_t* messageType, const char* key) {
  return SendAndAwait(connection, frame, messageType, key, -1);
}

Hub_Frame* HubIO_MakeErrorFrame(int32_t errorNumber, const char* description) {
  Hub_Frame* frame = Hub_MakeFrameOfKind("system_error", HUB_KIND_CLAUSE);
  Hub_SetFrameProperty(frame, ":errno", Hub_MakeIntObject(errorNumber));
  Hub_SetFrameProperty(frame, ":err_description", Hub_MakeStringObject(description ? description : ""));
  return frame;
}

int HubIO_ProcessConnectionMessages(HubIO_Connection* connection) {
  if (connection->done) return 1;
  HubIO_SockQueue* bytes = connection->queue->byteQueue;
  for (;;) {
    // A read waits only when asked to and nothing is there to dispatch.
    bytes->blockingRead =
        connection->blocking && !HubIO_SockObjectQueueInputPending(connection->queue);
    int read = HubIO_SockObjectQueueRead(connection->queue);
    bytes->blockingRead = 0;
    if (read < 0 && !HubIO_SockObjectQueueInputPending(connection->queue)) {
      connection->error = HUBIO_SOCKET_ERROR;
      return -1;
    }
    int dispatched = connection->dispatch(connection);
    if (connection->state != HUBIO_CONNECTION_LIVE) return -1;
    if (dispatched < 0) {
      connection->error = HUBIO_SOCKET_ERROR;
      return -1;
    }
    if (dispatched == 0) {
      if (connection->queue->disconnected) connection->done = 1;
      return 0;
    }
    if (connection->done) return 1;
  }
}

int HubIO_FlushConnection(HubIO_Connection* connection) {
  int flushed = HubIO_SockObjectQueueFlush(connection->queue);
  if (flushed < 0) {
    HubUtil_PrintWarningAt(kLocation, "Couldn't process outbound messages due to socket error");
    connection->error = HUBIO_SOCKET_ERROR;
    return -1;
  }
  return flushed == 0 && connection->done ? 1 : 0;
}

int HubIO_PollConnection(HubIO_Connection* connection, int blocking) {
  if (!connection || connection->state != HUBIO_CONNECTION_LIVE) return -1;
  connection->blocking = blocking;
  if (connection->handshakeState != HUBIO_FIRST_MESSAGE_HANDLED) {
    int first = HandleFirstMessage(connection);
    if (first <= 0 || connection->state != HUBIO_CONNECTION_LIVE) {
      return connection->state == HUBIO_CONNECTION_LIVE ? first : -1;
    }
  }
  int processed = HubIO_ProcessConnectionMessages(connection);
  if (processed < 0 || connection->state != HUBIO_CONNECTION_LIVE) return -1;
  // A connection marked done closes only once its output is written.
  return HubIO_FlushConnection(connection);
}

void HubIO_ShutdownConnection(HubIO_Connection* connection) {
  if (!connection || connection->state != HUBIO_CONNECTION_LIVE) return;
  CloseConnectionSocket(connection);
  connection->handshakeState = HUBIO_HANDSHAKE_NEW;
  connection->error = HUBIO_NO_ERROR;
}

void HubIO_DestroyConnection(HubIO_Connection* connection) {
  if (!connection || connection->state != HUBIO_CONNECTION_LIVE) return;
  Hub_RemoveHandledTask(&connection->pollTask);
  HubIO_Server* server = connection->server;
  LockLayer();
  if (server && server->connections && Hub_ValueQueueRemove(server->connections, connection)) {
    --server->connectionCount;
  }
  Unlock();
  if (connection->socket != HUBUTIL_INVALID_SOCKET) {
    HubUtil_PrintAtLevel(1, "Destroying connection to %s (socket %d)\n",
                         connection->peerHost ? connection->peerHost : "<unknown>",
                         connection->socket);
  }
  CloseConnectionSocket(connection);
  RunCallbacks(connection->destroyCallbacks, HUBIO_CONNECTION_DESTROYED_EVENT, nullptr);
  Hub_ValueQueueDestroy(connection->continuations);
  connection->continuations = nullptr;
  HubIO_SetConnectionData(connection, nullptr, nullptr);
  HubIO_DestroySockObjectQueue(connection->queue);
  connection->queue = nullptr;
  DestroyCallbackLists(connection);
  connection->pollCallback = nullptr;
  if (server && (server->flags & HUBIO_CONTACT_HUBS) && connection->hubLocation >= 0) {
    LockLayer();
    for (int32_t i = 0; server->hubs && server->hubs[i].host; ++i) {
      HubIO_HubLocation* hub = &server->hubs[i];
      if (hub->port == connection->port && strcmp(hub->host, connection->peerHost) == 0) {
        hub->state = HUBIO_HUB_LOST;
      }
    }
    Unlock();
  }
  HubUtil_LockMutex(connection->lock);
  connection->state = HUBIO_CONNECTION_DESTROYED;
  bool unreferenced = connection->references <= 0;
  HubUtil_UnlockMutex(connection->lock);
  if (unreferenced) FreeConnection(connection);
}

void HubIO_AddConnectionReference(HubIO_Connection* connection) {
  if (!connection) return;
  HubUtil_LockMutex(connection->lock);
  ++connection->references;
  HubUtil_UnlockMutex(connection->lock);
}

void HubIO_ReleaseConnectionReference(HubIO_Connection* connection) {
  if (!connection) return;
  HubUtil_LockMutex(connection->lock);
  if (connection->references > 0) --connection->references;
  bool release = connection->references == 0 && connection->state == HUBIO_CONNECTION_DESTROYED;
  HubUtil_UnlockMutex(connection->lock);
  if (release) FreeConnection(connection);
}
