// The hub bridge Tressig: a server of the hub named "DM" (default port 12001)
// that relays between the hub and the dialog manager Quorvane. The hub
// protocol library's generic main calls the two hooks below; the nine hub
// operations (HubOperations.h, Recording.h) then run on the library's loop
// thread and talk to the dialog manager through the one DMClient.
//
// The bridge keeps its state in process-wide variables: one dialog manager,
// one hub connection and at most one recording at a time.
#pragma once
#include <cstdint>
#include <string>

#include "hub_bridge/DMClient.h"
#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServer.h"

struct Hub_BrokerProxy;

// The parameters of the last "Record:" command.
struct RecordingParameters {
  std::string nameOfFile = "unknown";
  std::string dtmfTerminator = "#";
  std::string maxTime;  // a VoiceXML time: "10s", "500ms" or seconds
};

extern RecordingParameters RecordingParams;
extern bool InitASR;             // "-INITASR" was given
extern double MaxSeconds;        // the running recording's limit in seconds
extern double MaxSamples;        // ... and in samples
extern int64_t SampleCount;      // samples received by the running recording
extern int32_t SampleRate;       // the running recording's rate (Hz)
extern std::string LastDTMFChar;  // the last key the hub reported unasked
extern Hub_BrokerProxy* AudioProxy;  // the running recording's proxy, or null

// The client made by InitializeBridge.
DMClient& Client();

// Declaration hook: name "DM", port 12001; on a real server (not a
// placeholder) also the nine operations.
void DeclareBridgeServer(HubIO_Server* server);
// Appends the nine operations in their order, each taking any keys and
// giving a frame or none: the table (a new one when `table` is null).
Hub_DispatchTable* AddBridgeOperations(HubIO_Server* server, Hub_DispatchTable* table);
// Start-up hook: prints the banner, reads "-PORT" <port> and "-INITASR"
// from the leftover words (a "-PORT" without a port from 1 to 65535 warns
// and keeps the port), resets the recording state, creates the folder
// "Recordings" when missing and connects to the dialog manager (the process
// ends when it cannot). No server data: null.
void* InitializeBridge(HubIO_Server* server, int argc, char** argv);

// printf to the hub library's console (Console.h), which is then written out.
void BridgePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Every end of the bridge: writes the console out and exits with the status.
[[noreturn]] void EndBridge(int status);
