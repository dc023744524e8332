#include "libhub/frames/BrokerProxy.h"

#include <cstdlib>
#include <cstring>

#include "libhub/frames/Object.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Print.h"

namespace {

const char kNoMemory[] = "Error alloc'ing memory for a broker proxy";

Hub_ProxyDetachFunction g_detach = nullptr;

}  // namespace

Hub_BrokerProxy* Hub_CreateBrokerProxy(const char* host, int32_t port, const char* callId,
                                       int32_t objectType, Hub_Object* object) {
  auto* proxy = static_cast<Hub_BrokerProxy*>(calloc(1, sizeof(Hub_BrokerProxy)));
  HubUtil_Assert(proxy != nullptr, kNoMemory);
  proxy->callId = HubUtil_CopyText(callId, kNoMemory);
  proxy->host = HubUtil_CopyText(host, kNoMemory);
  proxy->port = port;
  proxy->objectType = objectType;
  proxy->object = object;
  return proxy;
}

Hub_BrokerProxy* Hub_DuplicateBrokerProxy(const Hub_BrokerProxy* proxy) {
  if (!proxy) return nullptr;
  return Hub_CreateBrokerProxy(proxy->host, proxy->port, proxy->callId, proxy->objectType,
                               Hub_DeepCopyObject(proxy->object));
}

void Hub_DestroyBrokerProxy(Hub_BrokerProxy* proxy) {
  if (!proxy) return;
  if (proxy->inBroker && g_detach) g_detach(proxy);
  free(proxy->callId);
  free(proxy->host);
  Hub_DestroyObject(proxy->object);
  free(proxy);
}

void Hub_SetProxyDetachFunction(Hub_ProxyDetachFunction detach) { g_detach = detach; }
