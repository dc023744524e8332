// In-brokers: bulk data (recorded audio above all) received on a connection
// of its own. The server that has the data offers it under a call id on its
// listener; the receiver connects there, names the call id in a handshake
// {c handshake :conn_type 2 :call_id ... :protocol_version 1} and then reads
// bare objects ("HUB_OBJECT_MSG_TYPE" messages) until the sender ends the
// stream ("HUB_DISCONNECT_MSG_TYPE").
//
// A broker is polled by a timed task of its own, started through the caller
// connection's in-broker set-up callbacks (HUBIO_IN_BROKER_SETUP_EVENT) or,
// without a caller connection, directly. Once the broker is active, each
// object goes to its per-object handler. When the stream ends the data-done
// callbacks run, when it breaks the abort callbacks run; at most one of the
// two, once ("finished"). The poll then destroys the broker: its destroy
// callbacks run, its caller data is freed by its free function, its
// connection closed. A broker is destroyed only by its own poll, or when that
// poll cannot be set up.
//
// Proxy receiving (ProxyReceiving.h) builds on this. Every failure is a
// warning and a null result; nothing here ends the process.
#pragma once
#include <cstdint>

#include "libhub/frames/Frame.h"
#include "libhub/io/HubServer.h"

struct Hub_CallEnvironment;
struct Hub_Broker;

// Broker callback events.
enum {
  HUB_BROKER_DATA_DONE_EVENT = 12,
  HUB_BROKER_ABORT_EVENT = 13,
  HUB_BROKER_DESTROY_EVENT = 14,
  HUB_BROKER_EVENT_15 = 15,  // recorded, never run by the library
};

typedef void (*Hub_BrokerCallbackFunction)(Hub_Broker* broker, void* data);
struct Hub_BrokerCallback {
  Hub_BrokerCallbackFunction function;
  void* data;
  int32_t event;
};

// Called with the broker and one received value as decoded (Xdr.h raw value,
// type code and size); the handler owns the value.
typedef void (*Hub_InBrokerHandler)(Hub_Broker* broker, uintptr_t value, int32_t type,
                                    int32_t size);

struct Hub_InBrokerData {
  HubIO_Connection* connection;  // to the sender, owned
  Hub_CallEnvironment* env;      // a counted environment, or null; released at destruction
  Hub_Frame* brokerFrame;        // owned copy of the frame that named the call id
  Hub_InBrokerHandler handler;
  int32_t active;  // objects are read only once set
};

struct Hub_Broker {
  int32_t pollInterval;  // milliseconds; -1 until fixed
  int32_t finished;      // the data-done or abort callbacks have run
  void* callerData;
  HubIO_DataFree callerDataFree;
  Hub_InBrokerData in;
  HubIO_Connection* callerConnection;  // counted for the broker's lifetime, or null
  // Callback lists (value queues of Hub_BrokerCallback), one per event.
  Hub_ValueQueue* dataDoneCallbacks;
  Hub_ValueQueue* abortCallbacks;
  Hub_ValueQueue* destroyCallbacks;
  Hub_ValueQueue* event15Callbacks;
};

// Connects to host:port (no connect warnings), sends the handshake with the
// ":call_id" of `brokerFrame` and waits for the sender's answer (at most the
// set-up read limit of HubServer.h). A new inactive broker that keeps a copy
// of the frame, the handler and the caller data (freed by `freeData` when the
// broker is destroyed); `callerConnection` (may be null) is counted while the
// broker lives. Then the poll interval is fixed (Hub_SetBrokerPollInterval).
// Null, with nothing kept, when the handler or host is missing, the port is
// not 1-65535, the connection or the exchange fails, the sender answers with
// an error frame, or the poll cannot be set up.
Hub_Broker* Hub_CreateInBroker(HubIO_Connection* callerConnection, const char* host, int32_t port,
                               const Hub_Frame* brokerFrame, Hub_InBrokerHandler handler,
                               int pollInterval, void* callerData, HubIO_DataFree freeData);

// Fixes the poll interval once (while it is -1): 0 becomes 5, a negative
// value -1 (no poll yet). With an interval fixed, starts the poll task. 0, or
// -1 when the task could not be set up: warning "Failed to set up requested
// poll for in broker", and the broker is destroyed.
int Hub_SetBrokerPollInterval(Hub_Broker* broker, int pollInterval);
// Objects are handed to the handler from now on.
void Hub_SetBrokerActive(Hub_Broker* broker);
// Runs the data-done callbacks unless the broker has finished: for a handler
// whose data is complete before the stream ends.
void Hub_FinishBroker(Hub_Broker* broker);

// Callbacks of events 12 to 15. Another event warns "Can't record broker
// callback for unknown event type\n" (adding: null) or "Can't remove broker
// callback for unknown event type\n". A callback may remove itself or another
// one while its run goes on; one removed by an earlier one of the same run is
// not called.
Hub_BrokerCallback* Hub_AddBrokerCallback(Hub_Broker* broker, int event,
                                          Hub_BrokerCallbackFunction function, void* data);
void Hub_RemoveBrokerCallback(Hub_Broker* broker, Hub_BrokerCallback* callback);
