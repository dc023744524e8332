#include "libhub/io/Broker.h"

#include <cstdlib>

#include "libhub/io/BinaryIO.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/CallbackList.h"
#include "libhub/io/SockQueue.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Print.h"
#include "libhub/util/TimedTasks.h"

namespace {

const char kLocation[] = "libhub/io/broker_data";
const char kNoMemory[] = "Error alloc'ing memory for a broker";
const HubIO_CallbackTexts kCallbackTexts = {
    kLocation, kNoMemory, "Can't record broker callback for unknown event type\n",
    "Can't remove broker callback for unknown event type\n"};

Hub_ValueQueue* CallbackList(Hub_Broker* broker, int event) {
  switch (event) {
    case HUB_BROKER_DATA_DONE_EVENT: return broker->dataDoneCallbacks;
    case HUB_BROKER_ABORT_EVENT: return broker->abortCallbacks;
    case HUB_BROKER_DESTROY_EVENT: return broker->destroyCallbacks;
    case HUB_BROKER_EVENT_15: return broker->event15Callbacks;
    default: return nullptr;
  }
}

void RunCallbacks(Hub_Broker* broker, int event) {
  HubIO_RunCallbacks<Hub_BrokerCallback>(
      CallbackList(broker, event),
      [broker](const Hub_BrokerCallback& callback) { callback.function(broker, callback.data); });
}

// The data-done or the abort callbacks, whichever comes first, once.
void Finish(Hub_Broker* broker, int event) {
  if (broker->finished) return;
  broker->finished = 1;
  RunCallbacks(broker, event);
}

void DestroyBroker(Hub_Broker* broker) {
  RunCallbacks(broker, HUB_BROKER_DESTROY_EVENT);
  if (broker->callerDataFree) broker->callerDataFree(broker->callerData);
  HubIO_CloseConnection(broker->in.connection);
  Hub_DestroyFrame(broker->in.brokerFrame);
  Hub_ReleaseCallEnvironment(broker->in.env);
  HubIO_ReleaseConnectionReference(broker->callerConnection);
  HubIO_DestroyCallbackLists({&broker->dataDoneCallbacks, &broker->abortCallbacks,
                              &broker->destroyCallbacks, &broker->event15Callbacks});
  free(broker);
}

// The broker connection's dispatch step: one bare object to the handler (1),
// nothing there (0; the data-done callbacks once the stream has ended), or a
// read error (-1, after the abort callbacks).
int DispatchObject(HubIO_Connection* connection) {
  auto* broker = static_cast<Hub_Broker*>(connection->clientData);
  if (!broker->in.active) return 0;
  uintptr_t value = 0;
  int32_t type = 0;
  int32_t size = 0;
  int read = HubIO_ReadObject(connection->queue, &value, &type, &size, nullptr);
  if (read > 0) {
    broker->in.handler(broker, value, type, size);
    return 1;
  }
  if (read == 0) {
    if (connection->queue->disconnected) Finish(broker, HUB_BROKER_DATA_DONE_EVENT);
    return 0;
  }
  Finish(broker, HUB_BROKER_ABORT_EVENT);
  return -1;
}

void PollBroker(Hub_TimedTask* task) {
  auto* broker = static_cast<Hub_Broker*>(Hub_TaskData(task));
  HubIO_Connection* connection = broker->in.connection;
  int atOnce = Hub_TaskRunAtOnce(task);
  connection->blocking = atOnce;
  int result = HubIO_ProcessConnectionMessages(connection);
  // A stream that has ended waits for nothing: the next poll finishes it.
  bool reads = !connection->done && !connection->queue->disconnected;
  if (result == 0 && Hub_RearmSocketTaskWhenReady(task, broker, broker->pollInterval, atOnce,
                                                  reads ? &connection->socket : nullptr,
                                                  nullptr, nullptr, nullptr) == 0) {
    return;
  }
  if (result == 1) {
    Finish(broker, HUB_BROKER_DATA_DONE_EVENT);
    HubUtil_PrintAtLevel(2, "In broker done receiving data\n");
  } else {
    // A broken stream, or a poll that could not be scheduled again.
    Finish(broker, HUB_BROKER_ABORT_EVENT);
  }
  DestroyBroker(broker);
}

// The sender's side of the handshake: true when it answered with a reply.
bool Handshake(HubIO_Connection* connection, const Hub_Frame* brokerFrame) {
  Hub_Frame* handshake = Hub_MakeFrameOfKind("handshake", HUB_KIND_CLAUSE);
  Hub_SetFrameProperty(handshake, ":conn_type", Hub_MakeIntObject(2));
  const char* callId = Hub_GetFrameString(brokerFrame, ":call_id");
  if (callId) Hub_SetFrameProperty(handshake, ":call_id", Hub_MakeStringObject(callId));
  Hub_SetFrameProperty(handshake, ":protocol_version", Hub_MakeIntObject(1));
  int32_t type = 0;
  Hub_Frame* reply = HubIO_SendAndAwaitReplyWithin(connection, handshake, &type, nullptr,
                                                   HubIO_SetupReadLimit());
  Hub_DestroyFrame(handshake);
  bool accepted = reply && type == HUB_REPLY_MSG_TYPE;
  Hub_DestroyFrame(reply);
  return accepted;
}

}  // namespace

Hub_Broker* Hub_CreateInBroker(HubIO_Connection* callerConnection, const char* host, int32_t port,
                               const Hub_Frame* brokerFrame, Hub_InBrokerHandler handler,
                               int pollInterval, void* callerData, HubIO_DataFree freeData) {
  if (!handler || !host || port < 1 || port > 65535) return nullptr;
  HubIO_Connection* connection =
      HubIO_CreateClientConnection(host, static_cast<uint16_t>(port), nullptr, 1);
  if (!connection) return nullptr;
  // Bulk data travels here: the whole message length of the wire, not a hub link's cap.
  connection->queue->maxMessageLength = HUBIO_MAX_MESSAGE_LENGTH;
  if (!Handshake(connection, brokerFrame)) {
    HubIO_CloseConnection(connection);
    return nullptr;
  }
  auto* broker =
      static_cast<Hub_Broker*>(HubUtil_AllocateZeroed(1, sizeof(Hub_Broker), kNoMemory));
  broker->pollInterval = -1;
  broker->callerData = callerData;
  broker->callerDataFree = freeData;
  broker->in = {connection, nullptr, Hub_CopyFrame(brokerFrame), handler, 0};
  broker->dataDoneCallbacks = HubIO_NewCallbackList();
  broker->abortCallbacks = HubIO_NewCallbackList();
  broker->destroyCallbacks = HubIO_NewCallbackList();
  broker->event15Callbacks = HubIO_NewCallbackList();
  connection->dispatch = DispatchObject;
  HubIO_SetConnectionData(connection, broker, nullptr);
  broker->callerConnection = callerConnection;
  HubIO_AddConnectionReference(callerConnection);
  return Hub_SetBrokerPollInterval(broker, pollInterval) == 0 ? broker : nullptr;
}

int Hub_SetBrokerPollInterval(Hub_Broker* broker, int pollInterval) {
  if (broker->pollInterval != -1) return 0;
  if (pollInterval < 1) pollInterval = pollInterval == 0 ? HUBIO_DEFAULT_POLL_INTERVAL : -1;
  broker->pollInterval = pollInterval;
  if (pollInterval < 0) return 0;
  HubIO_Connection* connection = broker->in.connection;
  Hub_TimedTask* task = nullptr;
  if (broker->callerConnection) {
    HubIO_PollRequest request{PollBroker, broker, pollInterval, &connection->socket, nullptr};
    HubIO_RunConnectionCallbacks(broker->callerConnection, HUBIO_IN_BROKER_SETUP_EVENT, &request);
    task = request.task;
  } else {
    task = Hub_CreateSocketTask(PollBroker, broker, pollInterval, 0, &connection->socket, nullptr,
                                nullptr);
  }
  if (task) return 0;
  HubUtil_PrintWarningAt(kLocation, "Failed to set up requested poll for in broker");
  DestroyBroker(broker);
  return -1;
}

void Hub_SetBrokerActive(Hub_Broker* broker) { broker->in.active = 1; }

void Hub_FinishBroker(Hub_Broker* broker) { Finish(broker, HUB_BROKER_DATA_DONE_EVENT); }

Hub_BrokerCallback* Hub_AddBrokerCallback(Hub_Broker* broker, int event,
                                          Hub_BrokerCallbackFunction function, void* data) {
  Hub_ValueQueue* list = broker ? CallbackList(broker, event) : nullptr;
  return HubIO_AddCallback(list, Hub_BrokerCallback{function, data, event}, kCallbackTexts);
}

void Hub_RemoveBrokerCallback(Hub_Broker* broker, Hub_BrokerCallback* callback) {
  Hub_ValueQueue* list = broker && callback ? CallbackList(broker, callback->event) : nullptr;
  HubIO_RemoveCallbackRecord(list, callback, kCallbackTexts);
}
