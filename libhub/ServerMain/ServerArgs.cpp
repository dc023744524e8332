#include "libhub/ServerMain/ServerArgs.h"

#include <climits>
#include <cstdlib>

#include "libhub/ServerMain/ServerLocations.h"
#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/Print.h"

namespace {

// Takes the library's options, in the order the server applies them.
void TakeOptions(int argc, char** argv, Hub_ServerArgs* args) {
  const HubUtil_OptionTable& table = *args->options;
  int port = 0;
  if (HubUtil_ExtractOption(argc, argv, table, "-port",
                            {HubUtil_OptionDestination::InRange(&port, 1, 65535)})) {
    args->hubFlags |= HUBIO_LISTEN_FOR_HUBS;
    args->port = static_cast<uint16_t>(port);
  }
  if (HubUtil_ExtractOption(argc, argv, table, "-contact_hub", {&args->contactHub})) {
    if (args->port != 0) {
      args->hubFlags |= HUBIO_LISTEN_FOR_HUBS | HUBIO_CONTACT_HUBS;
    } else {
      args->hubFlags = (args->hubFlags | HUBIO_CONTACT_HUBS) & ~HUBIO_LISTEN_FOR_HUBS;
    }
  }
  HubUtil_ExtractOption(argc, argv, table, "-server_locations_file", {&args->locationsFile});
  HubUtil_ExtractOption(argc, argv, table, "-slf_name", {&args->locationsName});
  HubUtil_ExtractOption(argc, argv, table, "-maxconns",
                        {HubUtil_OptionDestination::InRange(&args->maxConnections, 1, INT_MAX)});
  if (HubUtil_ExtractOption(argc, argv, table, "-color")) args->color = 1;
  HubUtil_ExtractOption(argc, argv, table, "-verbosity", {&args->verbosity});
  HubUtil_ExtractOption(argc, argv, table, "-session_id", {&args->sessionId});
  if (HubUtil_ExtractOption(argc, argv, table, "-assert")) args->assertPort = 1;
  if (HubUtil_ExtractOption(argc, argv, table, "-validate")) args->validate = 1;
  if (HubUtil_ExtractOption(argc, argv, table, "-thread")) {
    args->threadMode = HUB_ARGS_TASK_THREADS;
  } else if (HubUtil_ExtractOption(argc, argv, table, "-nottloop")) {
    args->threadMode = HUB_ARGS_NO_LOOP;
  }
}

}  // namespace

Hub_ServerArgs* Hub_CreateServerArgs() { return new Hub_ServerArgs(); }

void Hub_DestroyServerArgs(Hub_ServerArgs* args) {
  if (!args) return;
  free(args->contactHub);
  free(args->sessionId);
  free(args->locationsFile);
  free(args->locationsName);
  free(args->serverName);
  delete args;
}

Hub_ServerArgs* Hub_ParseServerArgs(int argc, const char* const* argv, const Hub_ServerHooks* hooks,
                                    int* leftoverArgc, char*** leftoverArgv) {
  Hub_InitializeStatics();
  Hub_ServerArgs* args = Hub_CreateServerArgs();
  if (hooks) args->hooks = *hooks;
  HubUtil_ArgList library;
  if (!HubUtil_SplitOptions(argc, argv, *args->options, &library, &args->leftover)) {
    Hub_DestroyServerArgs(args);
    return nullptr;
  }
  if (!HubUtil_CheckOptions(library.Argc(), library.Argv(), *args->options)) {
    HubUtil_PrintAtLevel(-1, "No usage info for server-specific options (if any)\n");
    Hub_DestroyServerArgs(args);
    return nullptr;
  }
  TakeOptions(library.Argc(), library.Argv(), args);
  if (leftoverArgc) *leftoverArgc = args->leftover.Argc();
  if (leftoverArgv) *leftoverArgv = args->leftover.Argv();
  Hub_LookUpServerLocation(args);
  return args;
}
