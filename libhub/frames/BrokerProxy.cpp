#include "libhub/frames/BrokerProxy.h"

#include <cstdlib>
#include <cstring>

#include "libhub/frames/Object.h"
#include "libhub/util/Print.h"

namespace {

Hub_ProxyDetachFunction g_detach = nullptr;

char* CopyText(const char* text) {
  if (!text) return nullptr;
  char* copy = strdup(text);
  HubUtil_Assert(copy != nullptr, "Error alloc'ing memory for a broker proxy");
  return copy;
}

}  // namespace

Hub_BrokerProxy* Hub_CreateBrokerProxy(const char* host, int32_t port, const char* callId,
                                       int32_t objectType, Hub_Object* object) {
  auto* proxy = static_cast<Hub_BrokerProxy*>(calloc(1, sizeof(Hub_BrokerProxy)));
  HubUtil_Assert(proxy != nullptr, "Error alloc'ing memory for a broker proxy");
  proxy->callId = CopyText(callId);
  proxy->host = CopyText(host);
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
