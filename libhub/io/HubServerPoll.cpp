// The connection poll: the first message, then the messages of each poll and
// the output, run by each connection's poll task.
#include "libhub/io/HubServer.h"

#include <cstdlib>
#include <cstring>

#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServerPrivate.h"
#include "libhub/util/NameSplit.h"
#include "libhub/util/Print.h"
#include "libhub/util/TimedTasks.h"
#include "libhub/util/ValueQueue.h"

using namespace hubserver;

namespace {

// The first message of a connection: 1 handled (go on with the messages),
// 0 nothing yet, -1 the connection is to be destroyed.
int HandleFirstMessage(HubIO_Connection* connection) {
  Hub_Frame* frame = nullptr;
  int read = ReadNextMessage(connection, &frame);
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

// The poll function of a connection's poll task: a new message that another
// reader left in the queue, or output queued while the task did not wait to
// write it.
int ConnectionHasWork(void* data) {
  auto* connection = static_cast<HubIO_Connection*>(data);
  HubIO_SockObjectQueue* queue = connection->queue;
  return HubIO_SockObjectQueueHolds(queue, HUB_MESSAGE_MSG_TYPE) ||
         (!connection->pollWaitsToWrite && HubIO_SockObjectQueueOutputPending(queue));
}

// The next poll waits for more input (unless the connection closes or its
// peer ended the stream), for room to write output still queued, or for the
// poll function.
void RearmConnectionPoll(Hub_TimedTask* task, HubIO_Connection* connection, int atOnce) {
  bool reads = !connection->done && !connection->queue->disconnected;
  connection->pollWaitsToWrite = HubIO_SockObjectQueueOutputPending(connection->queue);
  Hub_RearmSocketTaskWhenReady(task, connection, connection->pollInterval, atOnce,
                               reads ? &connection->socket : nullptr,
                               connection->pollWaitsToWrite ? &connection->socket : nullptr,
                               ConnectionHasWork, nullptr);
}

void ConnectionPollTask(Hub_TimedTask* task) {
  auto* connection = static_cast<HubIO_Connection*>(Hub_TaskData(task));
  HubIO_AddConnectionReference(connection);
  int atOnce = Hub_TaskRunAtOnce(task);
  int result = HubIO_PollConnection(connection, atOnce);
  if (connection->state != HUBIO_CONNECTION_LIVE) {
    // Destroyed while it was polled: the task is not re-armed and ends.
  } else if (result == 0) {
    RearmConnectionPoll(task, connection, atOnce);
  } else {
    HubIO_CloseConnection(connection);
  }
  HubIO_ReleaseConnectionReference(connection);
}

void StartInBrokerPoll(void*, void*, void* argument) {
  auto* request = static_cast<HubIO_PollRequest*>(argument);
  request->task = Hub_CreateSocketTask(request->function, request->data, request->interval, 0,
                                       request->socket, nullptr, nullptr);
}

}  // namespace

namespace hubserver {

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

}  // namespace hubserver

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
