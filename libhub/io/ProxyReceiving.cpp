#include "libhub/io/ProxyReceiving.h"

#include <cstdlib>

#include "libhub/io/Broker.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/Xdr.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Print.h"

namespace {

const char kLocation[] = "libhub/io/broker_data";
const char kNoMemory[] = "Error alloc'ing memory for receiving broker data";

// One proxy being received: the in-broker's caller data.
struct ReceiveRecord {
  void* callerData;
  HubIO_DataFree callerDataFree;
  Hub_ProxyDataCallback dataCallback;
  Hub_ProxyDoneCallback finaliser;
  Hub_ProxyDoneCallback abortCallback;
  int32_t objectType;       // the proxy's
  Hub_Object* accumulator;  // collected objects, or null
  int32_t immediate;
};

void FreeReceiveRecord(void* data) {
  auto* record = static_cast<ReceiveRecord*>(data);
  if (record->callerDataFree) record->callerDataFree(record->callerData);
  Hub_DestroyObject(record->accumulator);
  free(record);
}

bool IsSingleObjectType(int type) {
  return (type >= HUB_FRAME && type <= HUB_SYMBOL) || type == HUB_KEYWORD || type == HUB_TAG ||
         type == HUB_TOKEN || type == HUB_PROXY;
}

// An empty list or array to collect into; null for other types.
Hub_Object* NewAccumulator(int type) {
  if (type == HUB_LIST) return Hub_WrapListObject(nullptr, 0, Hub_FreeListElement, 1);
  return Hub_IsArrayType(type) ? Hub_WrapArrayObject(type, nullptr, 0, 1) : nullptr;
}

ReceiveRecord* RecordOf(Hub_Broker* broker) { return static_cast<ReceiveRecord*>(broker->callerData); }

void Deliver(Hub_Broker* broker, Hub_Object* object) {
  ReceiveRecord* record = RecordOf(broker);
  if (!object) return;
  record->dataCallback(broker->in.env, record->objectType, object, record->callerData);
}

// The per-object handler of proxy receiving.
void HandleObject(Hub_Broker* broker, uintptr_t value, int32_t type, int32_t size) {
  ReceiveRecord* record = RecordOf(broker);
  int expected = record->objectType;
  if (expected != -1 && expected != HUB_LIST && expected != type) {
    HubUtil_PrintWarningAt(kLocation, "Received bad data of type %s (%s expected); discarding",
                           Hub_TypeCodeName(type), Hub_TypeCodeName(expected));
    HubIO_FreeElement(type, value, size);
    return;
  }
  if (broker->finished) {
    HubUtil_PrintWarningAt(kLocation, "Proxy for type %s has already been completed; discarding",
                           Hub_TypeCodeName(type));
    HubIO_FreeElement(type, value, size);
    return;
  }
  bool known = expected == -1 || expected == HUB_LIST || Hub_IsArrayType(expected) ||
               IsSingleObjectType(expected);
  if (!known || (record->immediate && !record->dataCallback)) {
    HubIO_FreeElement(type, value, size);
  } else if (record->immediate) {
    Deliver(broker, HubIO_MakeElementObject(type, value, size));
  } else if (Hub_IsArrayType(expected)) {
    Hub_AppendToArrayObject(record->accumulator, reinterpret_cast<void*>(value), size);
    HubIO_FreeElement(type, value, size);
  } else if (expected == HUB_LIST) {
    Hub_Object* object = HubIO_MakeElementObject(type, value, size);
    if (object && !Hub_ListObjectAppend(record->accumulator, object)) Hub_DestroyObject(object);
  } else {
    record->accumulator = HubIO_MakeElementObject(type, value, size);
  }
  // A single-object proxy carries exactly one object.
  if (IsSingleObjectType(expected)) Hub_FinishBroker(broker);
}

void EndOfData(Hub_Broker* broker, void*) {
  ReceiveRecord* record = RecordOf(broker);
  Hub_Object* collected = record->accumulator;
  record->accumulator = nullptr;
  if (collected && !record->immediate && record->dataCallback) {
    Deliver(broker, collected);
  } else {
    Hub_DestroyObject(collected);
  }
  if (record->finaliser) record->finaliser(broker->in.env, record->objectType, record->callerData);
}

void Abort(Hub_Broker* broker, void*) {
  ReceiveRecord* record = RecordOf(broker);
  Hub_DestroyObject(record->accumulator);
  record->accumulator = nullptr;
  if (record->abortCallback) {
    record->abortCallback(broker->in.env, record->objectType, record->callerData);
  }
}

void MarkProxyDone(Hub_Broker* broker, void* data) {
  auto* proxy = static_cast<Hub_BrokerProxy*>(data);
  if (proxy->inBroker != broker) return;
  proxy->done = 1;
  proxy->inBroker = nullptr;
  proxy->destroyCallback = nullptr;
}

// A proxy destroyed while its in-broker runs is no longer marked by it.
void DetachProxy(Hub_BrokerProxy* proxy) {
  Hub_RemoveBrokerCallback(proxy->inBroker, static_cast<Hub_BrokerCallback*>(proxy->destroyCallback));
  proxy->inBroker = nullptr;
  proxy->destroyCallback = nullptr;
}

}  // namespace

void Hub_ProxyStartReceiving(Hub_CallEnvironment* env, Hub_BrokerProxy* proxy,
                             Hub_ProxyDataCallback dataCallback, Hub_ProxyDoneCallback finaliser,
                             Hub_ProxyDoneCallback abortCallback, int immediate, int pollInterval,
                             void* callerData, HubIO_DataFree freeData) {
  if (!proxy || proxy->inBroker || proxy->done) return;
  if (proxy->objectType == -1) immediate = 1;
  auto* record = static_cast<ReceiveRecord*>(
      HubUtil_AllocateZeroed(1, sizeof(ReceiveRecord), kNoMemory));
  *record = {callerData,       freeData, dataCallback, finaliser, abortCallback,
             proxy->objectType, nullptr,  immediate ? 1 : 0};
  if (!immediate) record->accumulator = NewAccumulator(proxy->objectType);
  Hub_Frame* brokerFrame = Hub_MakeFrameOfKind("broker", HUB_KIND_CLAUSE);
  Hub_SetFrameProperty(brokerFrame, ":call_id", Hub_MakeStringObject(proxy->callId));
  Hub_Broker* broker = Hub_CreateInBroker(Hub_EnvConnection(env), proxy->host, proxy->port,
                                          brokerFrame, HandleObject, -1, record,
                                          FreeReceiveRecord);
  Hub_DestroyFrame(brokerFrame);
  if (!broker) {
    FreeReceiveRecord(record);
    return;
  }
  broker->in.env = Hub_CopyCallEnvironment(env, 0);
  Hub_AddCallEnvironmentReference(broker->in.env);
  Hub_SetProxyDetachFunction(DetachProxy);
  proxy->inBroker = broker;
  proxy->destroyCallback =
      Hub_AddBrokerCallback(broker, HUB_BROKER_DESTROY_EVENT, MarkProxyDone, proxy);
  Hub_AddBrokerCallback(broker, HUB_BROKER_DATA_DONE_EVENT, EndOfData, nullptr);
  Hub_AddBrokerCallback(broker, HUB_BROKER_ABORT_EVENT, Abort, nullptr);
  Hub_SetBrokerActive(broker);
  Hub_SetBrokerPollInterval(broker, pollInterval);
}
