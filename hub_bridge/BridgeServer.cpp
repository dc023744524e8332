#include "hub_bridge/BridgeServer.h"

#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "hub_bridge/HubOperations.h"
#include "hub_bridge/Recording.h"
#include "libhub/util/Console.h"
#include "libhub/util/Print.h"
#include "platform/TcpSocket.h"

RecordingParameters RecordingParams;
bool InitASR = false;
double MaxSeconds = 0;
double MaxSamples = 160000.0;
int64_t SampleCount = 0;
int32_t SampleRate = 0;
std::string LastDTMFChar;
Hub_BrokerProxy* AudioProxy = nullptr;

namespace {

constexpr int kDefaultDMPort = 12500;
const char kDashes[] =
    "---------------------------------------------------------------------------\n";

std::unique_ptr<DMClient> g_client;

struct Operation {
  const char* name;
  Hub_DispatchFunction function;
};

const Operation kOperations[] = {
    {"BeginSession", BeginSession},
    {"ProcessParse", ProcessParse},
    {"EndSession", EndSession},
    {"reset_dm", reset_dm},
    {"AfterPlaying", AfterPlaying},
    {"ProcessISInfo", ProcessISInfo},
    {"ProcessDTMF", ProcessDTMF},
    {"ProcessUnexpectedDTMF", ProcessUnexpectedDTMF},
    {"TakeAudio", TakeAudio},
};

// "-PORT" <port> and "-INITASR", anywhere among the words: the port.
int ReadOptions(int argc, char** argv) {
  int port = kDefaultDMPort;
  for (int i = 0; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "-INITASR") InitASR = true;
    if (word != "-PORT") continue;
    const int given = i + 1 < argc ? platform::ParsePort(argv[i + 1]) : 0;
    if (given > 0) {
      port = given;
    } else {
      BridgePrint("WARNING: -PORT needs a port from 1 to 65535; the port stays %d\n", port);
    }
  }
  return port;
}

void CreateRecordingsFolder() {
  std::error_code error;
  std::filesystem::create_directories("Recordings", error);
  if (error) {
    BridgePrint("WARNING: the folder Recordings cannot be created: %s\n",
                error.message().c_str());
  }
}

}  // namespace

DMClient& Client() { return *g_client; }

void DeclareBridgeServer(HubIO_Server* server) {
  HubIO_SetServerNameAndPort(server, "DM", 12001);
  if (HubIO_ServerIsPlaceholder(server)) return;
  HubIO_SetServerDispatchTable(server,
                               AddBridgeOperations(server, HubIO_GetServerDispatchTable(server)));
}

Hub_DispatchTable* AddBridgeOperations(HubIO_Server*, Hub_DispatchTable* table) {
  for (const Operation& operation : kOperations) {
    table = Hub_AppendDispatchEntry(table, operation.name, operation.function, nullptr,
                                    HUB_OTHER_KEYS_ALLOWED, HUB_REPLY_EITHER, nullptr,
                                    HUB_OTHER_KEYS_ALLOWED);
  }
  return table;
}

void* InitializeBridge(HubIO_Server*, int argc, char** argv) {
  BridgePrint("%sWRAPPER pre Dialogovy manazer Talmiro 1.1.\nPort: 12001\nPort DM: %d\n%s",
              kDashes, kDefaultDMPort, kDashes);
  int port = ReadOptions(argc, argv);
  RecordingParams = RecordingParameters();
  MaxSamples = 160000.0;
  LastDTMFChar.clear();
  CreateRecordingsFolder();
  g_client = std::make_unique<DMClient>(port);
  return nullptr;
}

void BridgePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  HubUtil_ConsoleVPrint(format, args);
  va_end(args);
  HubUtil_PrintFlush();
}

void EndBridge(int status) {
  HubUtil_PrintFlush();
  exit(status);
}
