// The standard server options of the hub protocol library, parsed into one
// record per start-up, and the hooks through which the program linked with the
// library declares and initialises its server.
#pragma once
#include <cstdint>

#include "libhub/io/HubServer.h"
#include "libhub/util/Options.h"

// Declaration hook: gives the server its name and default port
// (HubIO_SetServerNameAndPort) and, on a real server (not a placeholder,
// HubIO_ServerIsPlaceholder), its dispatch table. It may run twice: once on a
// placeholder, only to learn the name for the server locations file, and once
// on the real server.
typedef void (*Hub_DeclareServerFunction)(HubIO_Server* server);
// Start-up hook: runs once the server is set up, with the words the library's
// options left over (the program's name first; valid only during the call).
// Gives the server's client data, or null for none.
typedef void* (*Hub_InitializeServerFunction)(HubIO_Server* server, int argc, char** argv);

// The program's hooks; either may be null (nothing is run).
struct Hub_ServerHooks {
  Hub_DeclareServerFunction declare;
  Hub_InitializeServerFunction initialize;
};

// Thread modes.
enum {
  HUB_ARGS_TIMED_TASK_LOOP = 0,  // the default: one thread runs the timed-task loop
  HUB_ARGS_TASK_THREADS = 1,     // "-thread": every task in a thread of its own
  HUB_ARGS_NO_LOOP = 2,          // "-nottloop": start the server, run nothing
};

// The parsed options. Every string is a malloc'd copy owned by the record.
struct Hub_ServerArgs {
  char* serverName = nullptr;  // replaces the declared name when set
  uint16_t port = 0;           // 0: keep the declared port
  int maxConnections = 1;
  int color = 0;
  int assertPort = 0;  // the server takes only its port, no port above it
  int threadMode = HUB_ARGS_TIMED_TASK_LOOP;
  int validate = 0;
  int verbosity = -1;                    // -1: not given
  int hubFlags = HUBIO_LISTEN_FOR_HUBS;  // HUBIO_LISTEN_FOR_HUBS | HUBIO_CONTACT_HUBS
  char* contactHub = nullptr;            // "host:port ..." of the hubs to contact
  char* sessionId = nullptr;
  char* locationsFile = nullptr;  // the server locations file
  char* locationsName = nullptr;  // the entry to look up there instead of the server's name
  const HubUtil_OptionTable* options = &HubUtil_OptionTable::Standard();
  int declarations = 1;  // run the declaration hook
  Hub_ServerHooks hooks = {nullptr, nullptr};
  HubUtil_ArgList leftover;  // the program's words, its name first
};

// A record with the defaults above.
Hub_ServerArgs* Hub_CreateServerArgs();
// Frees the record and its strings; null is ignored.
void Hub_DestroyServerArgs(Hub_ServerArgs* args);

// Initialises the library's statics, then reads the library's options from the
// command line into a new record that keeps `hooks` (null: none), and applies
// the server locations file when one is named. Every word that is no option of
// the library (an unknown "-word" and the words after it up to the next "-word")
// is left over for the program: *leftoverArgc and *leftoverArgv (when given)
// receive them, the program's name first, owned by the record. A command line
// that cannot be split (a stray word, a key short of its arguments) prints a
// warning and the usage text; "-help" prints the usage text and "No usage info
// for server-specific options (if any)\n"; both give null. The caller frees
// the record.
Hub_ServerArgs* Hub_ParseServerArgs(int argc, const char* const* argv, const Hub_ServerHooks* hooks,
                                    int* leftoverArgc, char*** leftoverArgv);
