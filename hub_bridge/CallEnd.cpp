#include "hub_bridge/CallEnd.h"

#include <string>

#include "hub_bridge/BridgeServer.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/HubServer.h"
#include "libhub/util/PlatformUtil.h"

namespace {

constexpr int kEndLimitMs = 3000;
constexpr int kEndPauseMs = 1000;

// The connection of the call under way; null before "Begin" and after the
// dialogue's end.
HubIO_Connection* g_callConnection = nullptr;

[[noreturn]] void StopCallForLostHub() {
  BridgePrint("\nThe hub's connection was lost; the call is stopped.\n");
  EndDialogue(1);
}

// Run by the library as the connection's socket closes.
void StopCallIfCallConnection(void* connection, void*, void*) {
  if (connection == g_callConnection) StopCallForLostHub();
}

}  // namespace

void EndDialogue(int status) {
  ForgetHubConnection();  // the hub may go once the dialogue ends
  Client().SetSendTimeout(kEndLimitMs);
  Client().SetReceiveTimeout(kEndLimitMs);
  Client().Send("End");
  std::string ignored;
  Client().Receive(&ignored);
  HubUtil_SleepPlainMillis(kEndPauseMs);
  EndBridge(status);
}

void WatchHubConnection(Hub_CallEnvironment* env) {
  HubIO_Connection* connection = Hub_EnvConnection(env);
  if (connection == g_callConnection) return;
  g_callConnection = connection;
  HubIO_AddConnectionCallback(connection, HUBIO_SOCKET_CLOSING_EVENT, StopCallIfCallConnection,
                              nullptr);
}

void ForgetHubConnection() { g_callConnection = nullptr; }

void StopCallIfHubLost(Hub_CallEnvironment* env) {
  HubIO_Connection* connection = Hub_EnvConnection(env);
  if (connection && connection == g_callConnection && HubIO_ConnectionLost(connection)) {
    StopCallForLostHub();
  }
}
