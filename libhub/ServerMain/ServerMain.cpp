#include "libhub/ServerMain/ServerMain.h"

#include <cstdlib>
#include <mutex>

#include "libhub/frames/FrameStatics.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "libhub/util/Thread.h"
#include "libhub/util/TimedTasks.h"
#include "libhub/util/Vlist.h"

namespace {

void InstallPrinting(const Hub_ServerArgs* args) {
  if (args->color >= 1) {
    HubUtil_InstallColorPrinters();
  } else {
    HubUtil_InstallPlainPrinters();
  }
  if (args->verbosity > -1) HubUtil_SetVerbosity(args->verbosity);
}

// The settings of the options, over what the declaration gave.
void ApplySettings(HubIO_Server* server, const Hub_ServerArgs* args) {
  if (args->serverName) HubIO_SetServerName(server, args->serverName);
  HubIO_SetServerFlags(server, args->hubFlags);
  HubIO_SetServerHubList(server, args->contactHub);
  HubIO_SetServerSessionId(server, args->sessionId);
  if (args->maxConnections > 0) HubIO_SetServerMaxConnections(server, args->maxConnections);
  if (args->port != 0) HubIO_SetServerPort(server, args->port);
  if (args->threadMode == HUB_ARGS_TASK_THREADS) Hub_EnableTaskThreads();
  if (args->validate) HubIO_SetServerValidate(server, 1);
}

}  // namespace

void Hub_InitializeStatics() {
  static std::once_flag done;
  std::call_once(done, [] {
    HubUtil_InstallPlainPrinters();
    // The vlist repository first: the other repositories' free lists are vlists.
    Hub_InitVlistRepository();
    Hub_InitDynamicBufferRepositories();
    Hub_InitFrameStatics();
    HubIO_InitServerStatics();
    HubUtil_InitMainThread();
  });
}

HubIO_Server* Hub_CreateServerFromArgs(Hub_ServerArgs* args, int argc, char** argv) {
  Hub_InitializeStatics();
  InstallPrinting(args);
  // Poll interval 0 asks for the default interval; -1 for no polls at all.
  int pollInterval = args->threadMode == HUB_ARGS_NO_LOOP ? -1 : 0;
  HubIO_Server* server =
      HubIO_CreateServer(0, args->assertPort, Hub_GenericMessageHandler, nullptr, pollInterval, 0);
  if (!server) return nullptr;
  if (args->declarations && args->hooks.declare) args->hooks.declare(server);
  ApplySettings(server, args);
  if (!HubUtil_SocketsStarted()) HubUtil_StartSockets();
  if (args->hooks.initialize) {
    void* data = args->hooks.initialize(server, argc, argv);
    if (data) HubIO_SetServerData(server, data, nullptr);
  }
  return server;
}

HubIO_Server* Hub_SetUpServer(int argc, const char* const* argv, const Hub_ServerHooks* hooks) {
  int leftoverArgc = 0;
  char** leftoverArgv = nullptr;
  Hub_ServerArgs* args = Hub_ParseServerArgs(argc, argv, hooks, &leftoverArgc, &leftoverArgv);
  if (!args) return nullptr;
  HubIO_Server* server = Hub_CreateServerFromArgs(args, leftoverArgc, leftoverArgv);
  Hub_DestroyServerArgs(args);
  return server;
}

int Hub_StartServer(HubIO_Server* server) {
  if (!HubIO_StartServer(server)) {
    HubUtil_PrintWarning("Server startup failed");
    return 0;
  }
  if (HubIO_ServerPolls(server)) {
    if (Hub_TaskThreadsEnabled()) {
      Hub_WaitForTaskThreads();
    } else {
      Hub_RunTimedTaskLoop();
    }
  }
  return 1;
}

void Hub_ServerMain(int argc, char** argv, const Hub_ServerHooks& hooks) {
  HubIO_Server* server = Hub_SetUpServer(argc, argv, &hooks);
  if (!server) HubUtil_PrintFatal("Failed to set up server!\n");
  // A server that could not start is a failure, not a normal end.
  exit(Hub_StartServer(server) ? EXIT_SUCCESS : EXIT_FAILURE);
}
