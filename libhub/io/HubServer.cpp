#include "libhub/io/HubServer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "libhub/frames/PrintUtil.h"
#include "libhub/io/BinaryIO.h"
#include "libhub/io/CallbackList.h"
#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServerPrivate.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Mutex.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "libhub/util/TimedTasks.h"
#include "libhub/util/ValueQueue.h"

using namespace hubserver;

namespace {

HubUtil_LocalMutex* g_layerLock = nullptr;       // connection lists, accepting, hub contact, destroying
HubUtil_LocalMutex* g_indexLock = nullptr;       // the transaction index
HubUtil_LocalMutex* g_propertiesLock = nullptr;  // server properties
int32_t g_transactionIndex = 0;
std::atomic<int> g_setupReadLimit{HUBIO_SETUP_READ_LIMIT_MS};
std::atomic<int32_t> g_pendingOutputLimit{HUBIO_MAX_HUB_PENDING_OUTPUT};

// ---- callbacks ----

const HubIO_CallbackTexts kServerCallbackTexts = {
    kLocation, kNoMemory, "Can't record server callback for unknown event type\n",
    "Can't remove connection callback for unknown event type\n"};
const HubIO_CallbackTexts kConnectionCallbackTexts = {
    kLocation, kNoMemory, "Can't record connection callback for unknown event type\n",
    "Can't remove connection callback for unknown event type\n"};

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

// Reads one new message and hands it to the message handler.
int DefaultDispatch(HubIO_Connection* connection) {
  Hub_Frame* frame = nullptr;
  int read = ReadNextMessage(connection, &frame);
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

void DestroyCallbackLists(HubIO_Connection* connection) {
  HubIO_DestroyCallbackLists({&connection->closingCallbacks, &connection->destroyCallbacks,
                              &connection->inBrokerCallbacks, &connection->outBrokerCallbacks,
                              &connection->dispatchCallbacks});
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

// ---- reads with a time limit ----

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
      WarnNoSetupMessage(connection, limitMs);
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

Hub_Frame* LocalError(int32_t* messageType, int32_t errorNumber, const char* text) {
  HubUtil_PrintWarningAt(kLocation, "%s", text);
  if (messageType) *messageType = HUB_ERROR_MSG_TYPE;
  return HubIO_MakeErrorFrame(errorNumber, text);
}

void StopLoop(void*, void*, void*) { Hub_StopTimedTaskLoop(0); }

}  // namespace

namespace hubserver {

void Lock(HubUtil_LocalMutex* mutex) {
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, mutex);
  HubUtil_LockMutex(mutex);
}

void Unlock() { HubUtil_ThreadPopCleanup(1); }

void LockLayer() {
  HubIO_InitServerStatics();
  Lock(g_layerLock);
}

void RunCallbacks(Hub_ValueQueue* list, int event, void* argument) {
  HubIO_RunCallbacks<HubIO_Callback>(list, [event, argument](const HubIO_Callback& callback) {
    if (callback.event == event && callback.function) {
      callback.function(callback.owner, callback.data, argument);
    }
  });
}

void RunServerCallbacks(HubIO_Server* server, int event, void* argument) {
  RunCallbacks(ServerCallbackList(server, event), event, argument);
}

HubIO_Connection* NewConnection(HubUtil_Socket socket, const char* peerHost) {
  auto* connection = static_cast<HubIO_Connection*>(
      HubUtil_AllocateZeroed(1, sizeof(HubIO_Connection), kNoMemory));
  connection->state = HUBIO_CONNECTION_LIVE;
  connection->queue =
      HubIO_CreateSockObjectQueue(socket, HUBIO_CONNECTION_QUEUE_SIZE, HUBIO_CONNECTION_QUEUE_SIZE);
  connection->queue->maxMessageLength = HUBIO_MAX_HUB_MESSAGE_LENGTH;
  connection->queue->byteQueue->outLimit = g_pendingOutputLimit;
  connection->queue->keepDeferred = KeepForLater;
  connection->queue->keepData = connection;
  connection->socket = socket;
  connection->port = 65535;
  connection->peerHost = HubUtil_CopyText(peerHost, kNoMemory);
  connection->closingCallbacks = HubIO_NewCallbackList();
  connection->destroyCallbacks = HubIO_NewCallbackList();
  connection->inBrokerCallbacks = HubIO_NewCallbackList();
  connection->outBrokerCallbacks = HubIO_NewCallbackList();
  connection->dispatchCallbacks = HubIO_NewCallbackList();
  connection->read = DefaultRead;
  connection->releaseFrames = DefaultReleaseFrames;
  connection->write = HubIO_ConnectionWriteFrame;
  connection->sendAndAwait = DefaultSendAndAwait;
  connection->dispatch = DefaultDispatch;
  connection->lock = HubUtil_CreateLocalMutex();
  connection->hubLocation = -1;
  return connection;
}

int ReadNextMessage(HubIO_Connection* connection, Hub_Frame** frame) {
  int read = 0;
  do {
    read = connection->read(connection, frame);
  } while (read == 0 && Hub_ValueQueueHasItems(connection->queue->input));
  return read;
}

int AnyFrame(int32_t, void*, int32_t, int32_t, void*) { return 1; }

void WarnNoSetupMessage(const HubIO_Connection* connection, int limitMs) {
  HubUtil_PrintWarningAt(kLocation,
                         "No message from %s within %d ms while setting up the connection; "
                         "dropping it",
                         connection->peerHost ? connection->peerHost : "<unknown>", limitMs);
}

void SendError(HubIO_Connection* connection, const char* description) {
  Hub_Frame* error = HubIO_MakeErrorFrame(6, description);
  connection->write(connection, error, HUB_ERROR_MSG_TYPE, 1);
  Hub_DestroyFrame(error);
}

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

bool Settable(const HubIO_Server* server) { return server && server->kind == HUBIO_SERVER_LIVE; }

}  // namespace hubserver

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

void HubIO_SetPendingOutputLimit(int32_t bytes) { g_pendingOutputLimit = bytes; }

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
  server->setupCallbacks = HubIO_NewCallbackList();
  server->destroyCallbacks = HubIO_NewCallbackList();
  server->flags = HUBIO_LISTEN_FOR_HUBS;
  server->listener = NewConnection(HUBUTIL_INVALID_SOCKET, nullptr);
  server->listener->messageHandler = handler;
  server->port = port;
  server->requirePort = requirePort ? 1 : 0;
  server->listenerSocket = HUBUTIL_INVALID_SOCKET;
  server->listenerOpenedCallbacks = HubIO_NewCallbackList();
  server->listenerClosingCallbacks = HubIO_NewCallbackList();
  server->hubContactCallbacks = HubIO_NewCallbackList();
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
      HubIO_CloseConnection(connection);
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
  HubIO_DestroyCallbackLists({&server->setupCallbacks, &server->destroyCallbacks,
                              &server->listenerOpenedCallbacks, &server->listenerClosingCallbacks,
                              &server->hubContactCallbacks});
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

// ---- callbacks ----

HubIO_Callback* HubIO_AddServerCallback(HubIO_Server* server, int event,
                                        HubIO_CallbackFunction function, void* data) {
  Hub_ValueQueue* list = Settable(server) ? ServerCallbackList(server, event) : nullptr;
  return HubIO_AddCallback(list, HubIO_Callback{function, data, event, server},
                           kServerCallbackTexts);
}

void HubIO_RemoveServerCallback(HubIO_Server* server, HubIO_Callback* callback) {
  Hub_ValueQueue* list = Settable(server) && callback ? ServerCallbackList(server, callback->event)
                                                      : nullptr;
  HubIO_RemoveCallbackRecord(list, callback, kServerCallbackTexts);
}

HubIO_Callback* HubIO_AddConnectionCallback(HubIO_Connection* connection, int event,
                                            HubIO_CallbackFunction function, void* data) {
  Hub_ValueQueue* list = connection ? ConnectionCallbackList(connection, event) : nullptr;
  return HubIO_AddCallback(list, HubIO_Callback{function, data, event, connection},
                           kConnectionCallbackTexts);
}

void HubIO_RemoveConnectionCallback(HubIO_Connection* connection, HubIO_Callback* callback) {
  Hub_ValueQueue* list =
      connection && callback ? ConnectionCallbackList(connection, callback->event) : nullptr;
  HubIO_RemoveCallbackRecord(list, callback, kConnectionCallbackTexts);
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
  HubIO_RunCallbacks<HubIO_Callback>(
      server->listener->destroyCallbacks,
      [&destroyCallbacks](const HubIO_Callback& callback) { destroyCallbacks.push_back(callback); });
  for (HubIO_Callback callback : destroyCallbacks) {
    callback.owner = connection;
    HubIO_AddCallback(connection->destroyCallbacks, callback, kConnectionCallbackTexts);
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

int HubIO_ConnectionLost(const HubIO_Connection* connection) {
  return !connection || connection->state != HUBIO_CONNECTION_LIVE ||
                 connection->socket == HUBUTIL_INVALID_SOCKET || connection->queue->error ||
                 connection->queue->disconnected
             ? 1
             : 0;
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

void HubIO_CloseConnection(HubIO_Connection* connection) {
  if (!connection) return;
  connection->done = 1;
  HubIO_DestroyConnection(connection);
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

// ---- for in-brokers ----

Hub_Frame* HubIO_SendAndAwaitReplyWithin(HubIO_Connection* connection, Hub_Frame* frame,
                                         int32_t* messageType, const char* key, int limitMs) {
  return SendAndAwait(connection, frame, messageType, key, limitMs);
}
