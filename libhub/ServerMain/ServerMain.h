// The generic server main of the hub protocol library and the steps it is made
// of. A program linked with the library supplies two hooks (ServerArgs.h) and
// its own main is one call:
//
//   int main(int argc, char** argv) {
//     Hub_ServerMain(argc, argv, {DeclareMyServer, InitializeMyServer});
//   }
//
// Start-up order: statics, options, locations file, server creation,
// declaration hook, settings, start-up hook, start (listen and/or contact
// hubs), then the timed-task loop (or the task threads) until serving ends.
// One server per process.
#pragma once
#include "libhub/ServerMain/ServerArgs.h"
#include "libhub/io/HubServer.h"

// Initialises, once for the process (later calls do nothing): the plain
// printers, then the locks and repositories of every module, last the calling
// thread's registration as the main thread. Records of the library cannot be
// had before it has run. Hub_ParseServerArgs and Hub_CreateServerFromArgs run
// it; a program or test that uses the library without them calls it first.
void Hub_InitializeStatics();

// Creates the server the options ask for: installs the colour or plain
// printers and the verbosity (when given), creates the server with the generic
// message handler, runs the declaration hook, applies name, hub flags, hub
// list, session id, max connections, port, thread mode and validation, starts
// the socket layer and runs the start-up hook with argc and argv (its result
// becomes the server's client data). The server is not started; null when it
// cannot be created. `args` stays the caller's.
HubIO_Server* Hub_CreateServerFromArgs(Hub_ServerArgs* args, int argc, char** argv);

// Parses the command line (Hub_ParseServerArgs) and creates the server from
// it: the server, or null when the options were bad, "-help" was given or the
// server could not be created.
HubIO_Server* Hub_SetUpServer(int argc, const char* const* argv, const Hub_ServerHooks* hooks);

// Starts the server and serves it: with a positive poll interval, runs the
// timed-task loop (or waits for the task threads with "-thread") until serving
// ends; with "-nottloop" returns at once. 1 when started; 0 after the warning
// "Server startup failed" (the server is then destroyed and freed).
int Hub_StartServer(HubIO_Server* server);

// The generic main: sets up, starts and serves the server, then ends the
// process with exit status 0, or 1 when the server could not start. When set-up
// fails, the fatal message "Failed to set up server!\n" ends it (status -1).
[[noreturn]] void Hub_ServerMain(int argc, char** argv, const Hub_ServerHooks& hooks);
