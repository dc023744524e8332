// Tressig, the hub bridge: the hub protocol library's generic server main
// over the bridge's declaration and start-up hooks.
#include "hub_bridge/BridgeServer.h"
#include "libhub/ServerMain/ServerMain.h"

int main(int argc, char** argv) { Hub_ServerMain(argc, argv, {DeclareBridgeServer, InitializeBridge}); }
