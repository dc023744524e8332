// The broker proxy record: it names bulk data that another server offers
// (call id, host and port to fetch it from, object type of the data) and is
// the value of an object of type 20. The in-broker that receives the data is
// built on it elsewhere; this module only makes, copies and destroys proxies.
#pragma once
#include <cstdint>

struct Hub_Object;
struct Hub_Broker;

struct Hub_BrokerProxy {
  char* callId;  // owned
  char* host;    // owned
  int32_t port;
  int32_t objectType;     // type code of the data objects; -1 accepts any type
  Hub_Broker* inBroker;   // the broker receiving the data, while it runs
  void* destroyCallback;  // the in-broker's destroy callback that marks this proxy done
  int32_t done;           // 1 once the in-broker for this proxy has been destroyed
  Hub_Object* object;     // an object carried inside the proxy, owned; may be null
};

// A new proxy with copies of the texts (either may be null) that takes over
// `object` (may be null). Fatal when memory runs out.
Hub_BrokerProxy* Hub_CreateBrokerProxy(const char* host, int32_t port, const char* callId,
                                       int32_t objectType, Hub_Object* object);
// A deep copy (texts and object copied; not receiving, not done); null for null.
Hub_BrokerProxy* Hub_DuplicateBrokerProxy(const Hub_BrokerProxy* proxy);
// Frees the texts and the object, and first detaches the proxy from a running
// in-broker (through the detach function, when one is set). Null is ignored.
void Hub_DestroyBrokerProxy(Hub_BrokerProxy* proxy);

// Set by the in-broker module: removes the proxy's destroy callback from its
// running in-broker. Called by Hub_DestroyBrokerProxy while inBroker is set.
typedef void (*Hub_ProxyDetachFunction)(Hub_BrokerProxy* proxy);
void Hub_SetProxyDetachFunction(Hub_ProxyDetachFunction detach);
