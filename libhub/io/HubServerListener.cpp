// The listener: opening it, accepting peers, and the server's side of the
// handshake, read by each new connection's own task.
#include "libhub/io/HubServer.h"

#include <algorithm>

#include "libhub/io/HubServerPrivate.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "libhub/util/TimedTasks.h"
#include "libhub/util/ValueQueue.h"

using namespace hubserver;

namespace {

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
  HubIO_CloseConnection(connection);
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
// time limit has passed; the loop serves everything else meanwhile. A
// connection refused already (marked done) is closed once its first frame is
// read and dropped: closed with its frame unread, the peer could lose the
// refusal.
void HandshakeTask(Hub_TimedTask* task) {
  auto* connection = static_cast<HubIO_Connection*>(Hub_TaskData(task));
  HubIO_Server* server = connection->server;
  Hub_Frame* first = nullptr;
  int read = HubIO_SockObjectQueueReadFrame(connection->queue, &first, nullptr, AnyFrame, nullptr, 0);
  if (read == 0 && !connection->queue->disconnected) {
    int64_t left = connection->setupDeadlineMs - HubUtil_MonotonicMillis();
    if (left > 0) {
      // The frame, or the set-up time limit, whichever comes first.
      int delay = static_cast<int>(std::min<int64_t>(left, INT32_MAX));
      Hub_RearmSocketTask(task, connection, delay, 0, &connection->socket, nullptr, nullptr);
      return;
    }
    WarnNoSetupMessage(connection, HubIO_SetupReadLimit());
  }
  if (read > 0 && connection->done) {
    Hub_DestroyFrame(first);
    read = 0;
  }
  if (read <= 0 || !AnswerHandshake(server, connection, first)) DropPending(server, connection);
}

// Accepts one peer when one is waiting; its handshake is read by a task of its
// own. At the connection limit it is refused at once, before anything is read.
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
  connection->server = server;
  Hub_ValueQueueAppend(server->pending, connection);
  Unlock();
  if (full) {
    SendError(connection, "max connections exceeded");
    connection->done = 1;
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
  // An open listener waits for the next peer; a failed one tries to open
  // again after the poll interval.
  if (server->listenerStatus == HUBIO_LISTENER_OPEN) {
    Hub_RearmSocketTaskWhenReady(task, server, server->pollInterval, Hub_TaskRunAtOnce(task),
                                 &server->listenerSocket, nullptr, nullptr, nullptr);
  } else {
    Hub_RearmSocketTask(task, server, server->pollInterval, Hub_TaskRunAtOnce(task),
                        &server->listenerSocket, nullptr, nullptr);
  }
}

}  // namespace

namespace hubserver {

void CloseListener(HubIO_Server* server) {
  if (server->listenerSocket == HUBUTIL_INVALID_SOCKET) return;
  RunServerCallbacks(server, HUBIO_LISTENER_CLOSING_EVENT, nullptr);
  HubUtil_ShutdownSocket(server->listenerSocket);
  HubUtil_CloseSocket(server->listenerSocket);
  server->listenerSocket = HUBUTIL_INVALID_SOCKET;
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

}  // namespace hubserver

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
