// Receiving the data a broker proxy names: an in-broker (Broker.h) for the
// proxy's host and port whose objects are checked against the proxy's object
// type and handed to the caller's data callback, each as it arrives
// (immediate) or collected into one object that arrives just before the
// finaliser. While it runs the proxy's in-broker is set; once the in-broker
// is destroyed the proxy is done and never received again. Destroying the
// proxy first (Hub_DestroyBrokerProxy) detaches it from the running broker.
//
// Callbacks run in the thread of the timed-task loop with the broker's call
// environment (a copy of the caller's): the data callback once per object
// (the object becomes the callback's), then the finaliser once when the data
// has ended, or the abort callback when the stream broke. A proxy whose
// sender cannot be reached or refuses the handshake starts nothing: no
// callback runs, and its in-broker stays null.
#pragma once
#include <cstdint>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/frames/Object.h"
#include "libhub/io/HubServer.h"

struct Hub_CallEnvironment;

typedef void (*Hub_ProxyDataCallback)(Hub_CallEnvironment* env, int32_t objectType,
                                      Hub_Object* object, void* callerData);
typedef void (*Hub_ProxyDoneCallback)(Hub_CallEnvironment* env, int32_t objectType,
                                      void* callerData);

// Starts receiving unless the proxy already has a running in-broker or is
// done. `objectType` in the callbacks is the proxy's. Without `immediate`
// (forced on for a proxy of any type, -1) lists and arrays are collected;
// an object of a single-object type finishes the data. `pollInterval` as for
// Hub_SetBrokerPollInterval. The caller data is freed by `freeData` (may be
// null) when receiving ends, or at once when it cannot start. Objects of
// another type than the proxy's are dropped with the warning "Received bad
// data of type %s (%s expected); discarding"; objects after the data has
// finished with "Proxy for type %s has already been completed; discarding".
void Hub_ProxyStartReceiving(Hub_CallEnvironment* env, Hub_BrokerProxy* proxy,
                             Hub_ProxyDataCallback dataCallback, Hub_ProxyDoneCallback finaliser,
                             Hub_ProxyDoneCallback abortCallback, int immediate, int pollInterval,
                             void* callerData, HubIO_DataFree freeData);
