// Servers, connections, the handshake and incoming dispatch, against the fake
// hub over loopback TCP: the server runs its timed-task loop in a thread of
// its own while the test plays the hub.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/io/BinaryIO.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServer.h"
#include "libhub/io/Xdr.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "libhub/util/TimedTasks.h"
#include "tests/libhub/util/HubTestSupport.h"
#include "tests/support/FakeHub.h"
#include "tests/support/FreePort.h"

using testsupport::AutoReply;
using testsupport::FakeHub;
using testsupport::FrameKeys;
using testsupport::ReceivedFrame;

namespace {

constexpr int kWaitMs = 5000;
constexpr int kTestLimitMs = 30000;

// ---- what the printing layer shows, from any thread ----

std::mutex g_shownMutex;
std::vector<std::string> g_shown;

void Record(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_shownMutex);
  g_shown.push_back(text);
}
void CaptureWarning(const char* format, va_list args, void*) { Record("W:" + hubtest::FormatText(format, args)); }
void CaptureLevel(int, const char* format, va_list args, void*) { Record("L:" + hubtest::FormatText(format, args)); }
void CaptureInfo(const char* format, va_list args, void*) { Record("I:" + hubtest::FormatText(format, args)); }

std::vector<std::string> Shown() {
  std::lock_guard<std::mutex> lock(g_shownMutex);
  return g_shown;
}
size_t CountShown(const std::string& text) {
  size_t count = 0;
  for (const std::string& shown : Shown()) count += shown == text ? 1 : 0;
  return count;
}
bool WaitForShown(const std::string& text, int timeoutMs = kWaitMs) {
  return hubtest::WaitUntil([&] { return CountShown(text) > 0; }, timeoutMs);
}

// ---- the toy server's operations; they run in the loop's thread ----

struct Calls {
  std::mutex mutex;
  std::vector<std::string> operations;  // in the order they ran
  std::string operationName;            // of the last "echo"
  std::string sessionId;
  int32_t replyRequested = -1;
  std::string incomingSessionId;
  std::vector<int> errorReplies;        // results of Hub_EnvErrorReply
  std::string askedReply;               // "type name :errno/:answer"
};
Calls* g_calls = nullptr;

void Log(const char* operation) {
  std::lock_guard<std::mutex> lock(g_calls->mutex);
  g_calls->operations.push_back(operation);
}

Hub_Frame* Echo(Hub_Frame* frame, Hub_CallEnvironment* env) {
  Log("echo");
  {
    std::lock_guard<std::mutex> lock(g_calls->mutex);
    g_calls->operationName = env->operationName ? env->operationName : "";
    g_calls->sessionId = env->sessionId ? env->sessionId : "";
    g_calls->replyRequested = env->replyRequested;
    const char* incoming = Hub_GetFrameString(frame, ":session_id");
    g_calls->incomingSessionId = incoming ? incoming : "";
  }
  Hub_Frame* reply = Hub_MakeFrame("echo_reply");
  Hub_SetFrameProperty(reply, ":n", Hub_MakeIntObject(Hub_GetFrameInt(frame, ":n") + 1));
  return reply;
}

Hub_Frame* Nothing(Hub_Frame*, Hub_CallEnvironment*) {
  Log("nothing");
  return nullptr;
}

// The incoming frame's keys come back in a new frame (for the session fields).
Hub_Frame* Mirror(Hub_Frame* frame, Hub_CallEnvironment*) {
  Log("mirror");
  Hub_Frame* reply = Hub_CopyFrame(frame);
  Hub_DeleteFrameProperty(reply, ":session_id");
  return reply;
}

Hub_Frame* FailTwice(Hub_Frame*, Hub_CallEnvironment* env) {
  Log("fail_twice");
  int first = Hub_EnvErrorReply(env, 7, "bad input");
  int second = Hub_EnvErrorReply(env, 8, "worse input");
  std::lock_guard<std::mutex> lock(g_calls->mutex);
  g_calls->errorReplies = {first, second};
  return Hub_MakeFrame("not_sent");  // a reply was provided already
}

// Asks the hub a question and answers with what came back.
Hub_Frame* AskHub(Hub_Frame*, Hub_CallEnvironment* env) {
  Log("ask_hub");
  Hub_Frame* question = Hub_MakeFrame("hub_question");
  Hub_SetFrameProperty(question, ":q", Hub_MakeIntObject(1));
  Hub_SetFrameProperty(question, ":hub_get_session_lock", Hub_MakeIntObject(1));
  int32_t type = -1;
  Hub_Frame* reply = Hub_EnvSendAndAwaitReply(env, question, &type);
  Hub_DestroyFrame(question);
  std::string text = std::to_string(type) + " " + (Hub_FrameName(reply) ? Hub_FrameName(reply) : "") +
                     " " + std::to_string(Hub_GetFrameInt(reply, ":errno")) + "/" +
                     std::to_string(Hub_GetFrameInt(reply, ":answer"));
  Hub_Frame* answer = Hub_MakeFrame("answer");
  Hub_SetFrameProperty(answer, ":got", Hub_MakeIntObject(Hub_GetFrameInt(reply, ":answer")));
  Hub_DestroyFrame(reply);
  {
    std::lock_guard<std::mutex> lock(g_calls->mutex);
    g_calls->askedReply = text;
  }
  return answer;
}

std::atomic<int> g_brokerPolls{0};
std::atomic<int> g_brokerTaskMade{0};
void BrokerPollTask(Hub_TimedTask*) { ++g_brokerPolls; }

// Starts a poll the way an in-broker does, through the connection's event-6 callbacks.
Hub_Frame* StartBrokerPoll(Hub_Frame*, Hub_CallEnvironment* env) {
  Log("broker_poll");
  HubIO_PollRequest request{BrokerPollTask, nullptr, 0, nullptr, nullptr};
  HubIO_RunConnectionCallbacks(Hub_EnvConnection(env), HUBIO_IN_BROKER_SETUP_EVENT, &request);
  g_brokerTaskMade = request.task != nullptr ? 1 : 0;
  return nullptr;
}

// Destroys its own server (and with it the dispatch table) and gives no reply.
Hub_Frame* DestroySelf(Hub_Frame*, Hub_CallEnvironment* env) {
  Log("destroy_self");
  HubIO_DestroyServer(HubIO_ConnectionServer(Hub_EnvConnection(env)));
  return nullptr;
}

const Hub_KeyRequirement kEchoInput[] = {{const_cast<char*>(":n"), HUB_INT, 0}, {nullptr, 0, 0}};

Hub_DispatchTable* ToyTable(bool withReinitialize = false) {
  Hub_DispatchTable* table = nullptr;
  table = Hub_AppendDispatchEntry(table, "echo", Echo, kEchoInput, HUB_OTHER_KEYS_NOT_PERMITTED,
                                  HUB_REPLY_FRAME, nullptr, HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "nothing", Nothing, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                  HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "mirror", Mirror, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                  HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "fail_twice", FailTwice, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                  HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "ask_hub", AskHub, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                  HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "broker_poll", StartBrokerPoll, nullptr,
                                  HUB_OTHER_KEYS_ALLOWED, HUB_REPLY_EITHER, nullptr,
                                  HUB_OTHER_KEYS_ALLOWED);
  table = Hub_AppendDispatchEntry(table, "destroy_self", DestroySelf, nullptr,
                                  HUB_OTHER_KEYS_ALLOWED, HUB_REPLY_FRAME, nullptr,
                                  HUB_OTHER_KEYS_ALLOWED);
  if (withReinitialize) {
    table = Hub_AppendDispatchEntry(table, "reinitialize", Nothing, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                    HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  }
  return table;
}

// ---- a server with its loop in a thread ----

struct ServerOptions {
  int port = 0;  // 0: a free port
  int requirePort = 0;
  int maxConnections = 1;
  int flags = HUBIO_LISTEN_FOR_HUBS;
  std::string hubList;
  std::string sessionId;
  bool validate = false;
  bool withReinitialize = false;
};

void DestroyServerTask(Hub_TimedTask* task) {
  HubIO_DestroyServer(static_cast<HubIO_Server*>(Hub_TaskData(task)));
}

class RunningServer {
 public:
  explicit RunningServer(const ServerOptions& options) {
    int port = options.port ? options.port : testsupport::FreePort();
    server_ = HubIO_CreateServer(static_cast<uint16_t>(port), options.requirePort,
                                 Hub_GenericMessageHandler, nullptr, 0, options.maxConnections);
    HubIO_SetServerName(server_, "DM");
    HubIO_SetServerDispatchTable(server_, ToyTable(options.withReinitialize));
    HubIO_SetServerFlags(server_, options.flags);
    if (!options.hubList.empty()) HubIO_SetServerHubList(server_, options.hubList.c_str());
    if (!options.sessionId.empty()) HubIO_SetServerSessionId(server_, options.sessionId.c_str());
    HubIO_SetServerValidate(server_, options.validate ? 1 : 0);
    started_ = HubIO_StartServer(server_) != nullptr;
    if (!started_) {
      server_ = nullptr;  // freed by the failed start
      return;
    }
    loop_ = std::thread(Hub_RunTimedTaskLoop);
  }
  ~RunningServer() {
    if (!started_) return;
    // Destroyed inside the loop, which the destruction stops.
    if (loop_.joinable()) {
      Hub_CreateTask(DestroyServerTask, server_, 0, 0, nullptr);
      loop_.join();
    }
    HubIO_FreeServer(server_);
  }
  // Waits for the loop that the server's own destruction stopped.
  void JoinStoppedLoop() { loop_.join(); }
  bool Started() const { return started_; }
  int Port() const { return HubIO_ServerListeningPort(server_); }
  HubIO_Server* Server() const { return server_; }

 private:
  HubIO_Server* server_ = nullptr;
  bool started_ = false;
  std::thread loop_;
};

class HubServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Hub_InitializeStatics();
    HubUtil_PrinterTable* table = HubUtil_CurrentPrinters();
    saved_ = *table;
    table->warning = CaptureWarning;
    table->level = CaptureLevel;
    table->info = CaptureInfo;
    HubUtil_SetVerbosity(3);
    {
      std::lock_guard<std::mutex> lock(g_shownMutex);
      g_shown.clear();
    }
    g_calls = &calls_;
  }
  void TearDown() override {
    *HubUtil_CurrentPrinters() = saved_;
    HubIO_SetSetupReadLimit(HUBIO_SETUP_READ_LIMIT_MS);
    HubIO_SetPendingOutputLimit(HUBIO_MAX_HUB_PENDING_OUTPUT);
    g_calls = nullptr;
  }
  std::vector<std::string> Operations() {
    std::lock_guard<std::mutex> lock(calls_.mutex);
    return calls_.operations;
  }

  hubtest::Watchdog watchdog_{kTestLimitMs};
  Calls calls_;
  HubUtil_PrinterTable saved_{};
};

std::string Pid() { return std::to_string(HubUtil_ProcessId()); }

// ---- the handshake ----

TEST_F(HubServerTest, HandshakeFrameCarriesSignaturesPropertiesAndVersion) {
  ServerOptions options;
  options.sessionId = "S9";
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  EXPECT_TRUE(WaitForShown("L:Opened listener on port " + std::to_string(server.Port()) + "\n"));
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  std::optional<ReceivedFrame> handshake = hub.Handshake();
  ASSERT_TRUE(handshake);
  EXPECT_EQ(handshake->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(handshake->name, "DM");
  EXPECT_EQ(handshake->kind, HUB_KIND_CLAUSE);
  EXPECT_EQ(handshake->Keys(), (std::vector<std::string>{":session_id", ":signatures", ":properties",
                                                         ":extra_service_types",
                                                         ":protocol_version"}));
  EXPECT_EQ(handshake->Value(":session_id"), "S9");
  EXPECT_EQ(handshake->Value(":protocol_version"), "1");
  EXPECT_EQ(handshake->Value(":properties"), "{c server_properties }");
  EXPECT_EQ(handshake->Find(":extra_service_types")->type, "HUB_LIST");
  // Name, input keys, allow-other-input, reply kind, output keys (empty, never
  // null), allow-other-output for each operation, in table order.
  std::string signatures = handshake->Value(":signatures");
  EXPECT_EQ(signatures,
            "( ( \"echo\" ( ( \":n\" 3 0 ) ) 3 4 (  ) 2 ) ( \"nothing\" (  ) 2 6 (  ) 2 ) "
            "( \"mirror\" (  ) 2 6 (  ) 2 ) ( \"fail_twice\" (  ) 2 6 (  ) 2 ) "
            "( \"ask_hub\" (  ) 2 6 (  ) 2 ) ( \"broker_poll\" (  ) 2 6 (  ) 2 ) "
            "( \"destroy_self\" (  ) 2 4 (  ) 2 ) )");
  EXPECT_TRUE(hubtest::WaitUntil([&] { return HubIO_ServerConnectionCount(server.Server()) == 1; }));
}

struct RefusedType {
  int32_t connectionType;
  const char* description;
};

TEST_F(HubServerTest, RefusedHandshakesGetAnErrorFrameAndAreClosed) {
  const RefusedType cases[] = {
      {2, "no match for broker"},
      {3, "unsupported connection type"},
      {1, "max connections exceeded"},  // the first hub below holds the only place
  };
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub first;
  for (const RefusedType& refused : cases) {
    SCOPED_TRACE(refused.description);
    if (refused.connectionType == 1) {
      ASSERT_TRUE(first.ConnectToServer(server.Port(), kWaitMs));
    }
    FakeHub hub;
    EXPECT_FALSE(hub.ConnectToServer(server.Port(), kWaitMs, refused.connectionType));
    std::optional<ReceivedFrame> answer = hub.Handshake();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->messageType, HUB_ERROR_MSG_TYPE);
    EXPECT_EQ(answer->name, "system_error");
    EXPECT_EQ(answer->Value(":errno"), "6");
    EXPECT_EQ(answer->Value(":err_description"), refused.description);
    EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  }
  EXPECT_EQ(HubIO_ServerConnectionCount(server.Server()), 1);
}

TEST_F(HubServerTest, SilentClientIsDroppedAfterTheTimeLimit) {
  HubIO_SetSetupReadLimit(300);
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  HubUtil_Socket silent = HubUtil_ClientSocket("127.0.0.1", server.Port());
  ASSERT_NE(silent, HUBUTIL_INVALID_SOCKET);
  EXPECT_TRUE(WaitForShown("W:No message from 127.0.0.1 within 300 ms while setting up the "
                           "connection; dropping it"));
  char byte = 0;
  HubUtil_SocketSet readable;
  HubUtil_SocketSetClear(&readable);
  HubUtil_SocketSetAdd(&readable, silent);
  int interrupted = 0;
  ASSERT_EQ(HubUtil_Select(&readable, nullptr, nullptr, kWaitMs, &interrupted), 1);
  EXPECT_EQ(HubUtil_Receive(silent, &byte, 1), 0);  // the server closed it
  HubUtil_CloseSocket(silent);
  // The loop goes on serving.
  FakeHub hub;
  EXPECT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
}

TEST_F(HubServerTest, ASilentClientStallsNothingAndOneAtTheLimitIsRefusedAtOnce) {
  HubIO_SetSetupReadLimit(60000);
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub silent;
  ASSERT_TRUE(silent.ConnectSilently(server.Port()));
  FakeHub hub;  // served while the silent one's first frame is awaited
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  ASSERT_TRUE(hub.Call("echo", {{":n", 1}}, kWaitMs));
  FakeHub late;  // says nothing either, and the only place is taken
  ASSERT_TRUE(late.ConnectSilently(server.Port()));
  std::optional<ReceivedFrame> refused = late.WaitForFrame(0, kWaitMs);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->messageType, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(refused->Value(":err_description"), "max connections exceeded");
  // Its first frame is read (and dropped) before the server closes.
  Hub_Frame* handshake = testsupport::MakeHubFrame("handshake", {{":conn_type", 1}});
  EXPECT_TRUE(late.SendFrame(handshake, HUB_MESSAGE_MSG_TYPE));
  Hub_DestroyFrame(handshake);
  EXPECT_TRUE(late.WaitForPeerClose(kWaitMs));
  EXPECT_TRUE(silent.Connected());  // until the server goes
}

TEST_F(HubServerTest, AHubThatReconnectsAtOnceAfterClosingIsServed) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs)) << i;  // closes the one before
  }
}

TEST_F(HubServerTest, InThreadModeAServerIsDestroyedOnlyOnceItsThreadsHaveEnded) {
  Hub_EnableTaskThreads();
  HubIO_Server* server = HubIO_CreateServer(static_cast<uint16_t>(testsupport::FreePort()), 0,
                                            Hub_GenericMessageHandler, nullptr, 0, 1);
  HubIO_SetServerName(server, "DM");
  HubIO_SetServerDispatchTable(server, ToyTable());
  ASSERT_EQ(HubIO_StartServer(server), server);
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(HubIO_ServerListeningPort(server), kWaitMs));
  ASSERT_TRUE(hub.Call("echo", {{":n", 1}}, kWaitMs));
  HubIO_DestroyServer(server);
  EXPECT_EQ(CountShown("W:Can't destroy server DM while its tasks run in threads of their own; "
                       "stop them and wait for them first"),
            1u);
  std::optional<ReceivedFrame> reply = hub.Call("echo", {{":n", 2}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":n"), "3");
  Hub_StopTimedTaskLoop(0);
  Hub_WaitForTaskThreads();
  HubIO_DestroyServer(server);
  EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  HubIO_FreeServer(server);
}

// ---- calls ----

TEST_F(HubServerTest, CallReachesItsOperationAndTheReplyComesBackRenamed) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  hub.SetSessionId("S1");
  std::optional<ReceivedFrame> reply = hub.Call("DM.echo", {{":n", 41}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(reply->name, "DM.echo");
  EXPECT_EQ(reply->Keys(), (std::vector<std::string>{":n", ":hub_opaque_data"}));
  EXPECT_EQ(reply->Value(":n"), "42");
  // The hub's bookkeeping comes back unchanged, with the session id.
  EXPECT_EQ(reply->HubValue(":server_tidx"), "0");
  EXPECT_EQ(reply->HubValue(":reply_requested"), "1");
  EXPECT_EQ(reply->HubValue(":session_id"), "S1");
  std::lock_guard<std::mutex> lock(calls_.mutex);
  EXPECT_EQ(calls_.operationName, "DM.echo");
  EXPECT_EQ(calls_.sessionId, "S1");
  EXPECT_EQ(calls_.incomingSessionId, "S1");
  EXPECT_EQ(calls_.replyRequested, 1);
  EXPECT_EQ(CountShown("I:Invoking dispatch function: echo\n"), 1u);
  // The frames received and returned are logged in the brief layout.
  EXPECT_EQ(CountShown("L:{c DM.echo\n   :n 41\n   :hub_opaque_data {c admin_info ... } }\n"), 1u);
  EXPECT_EQ(CountShown("L:{c DM.echo\n   :n 42\n   :hub_opaque_data {c admin_info ... } }\n"), 1u);
}

TEST_F(HubServerTest, NullResultIsAnsweredWithTheIncomingFrameOnlyWhenAReplyIsAsked) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  ASSERT_TRUE(hub.Send("nothing", {{":a", 4}}));
  std::optional<ReceivedFrame> reply = hub.Call("nothing", {{":a", 5}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(reply->name, "nothing");
  EXPECT_EQ(reply->Value(":a"), "5");
  EXPECT_EQ(reply->HubValue(":server_tidx"), "1");
  EXPECT_EQ(Operations(), (std::vector<std::string>{"nothing", "nothing"}));
  // Only the call that asked got an answer (the handshake is the first frame).
  std::vector<ReceivedFrame> received = hub.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].Value(":a"), "5");
}

TEST_F(HubServerTest, UnknownOperationGetsAnErrorReplyAndTheConnectionStays) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  std::optional<ReceivedFrame> reply = hub.Call("DM.nosuch", {{":a", 1}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(reply->name, "system_error");
  EXPECT_EQ(reply->Value(":errno"), "1");
  EXPECT_EQ(reply->Value(":err_description"), "Function nosuch does not exist");
  EXPECT_EQ(reply->HubValue(":server_tidx"), "0");
  EXPECT_EQ(CountShown("W:Function nosuch does not exist!!!\n"), 1u);
  EXPECT_EQ(CountShown("W:You need to add it to the operations for server DM\n"), 1u);
  reply = hub.Call("echo", {{":n", 1}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":n"), "2");
}

TEST_F(HubServerTest, SecondReplyThroughTheSameEnvironmentIsRefused) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  std::optional<ReceivedFrame> reply = hub.Call("fail_twice", {}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(reply->name, "system_error");  // error replies are not renamed
  EXPECT_EQ(reply->Value(":errno"), "7");
  EXPECT_EQ(reply->Value(":err_description"), "bad input");
  // The reply goes out before the operation stores what its two tries gave.
  EXPECT_TRUE(hubtest::WaitUntil([&] {
    std::lock_guard<std::mutex> lock(calls_.mutex);
    return calls_.errorReplies == std::vector<int>{0, -1};
  }));
}

TEST_F(HubServerTest, AnOperationThatDestroysItsServerIsCheckedAgainstACopyOfItsSignature) {
  ServerOptions options;
  options.validate = true;
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  EXPECT_FALSE(hub.Call("destroy_self", {}, kWaitMs));  // the connection goes with the server
  EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  server.JoinStoppedLoop();
  EXPECT_EQ(CountShown("W:For  destroy_self: expected frame reply but found NULL\n"), 1u);
}

// A 16 kB frame of the name, as an unsolicited hub would send it.
Hub_Frame* BulkyFrame(const std::string& name, int32_t index) {
  Hub_Frame* frame = testsupport::MakeHubFrame(name, {{":bulk", std::string(16384, 'x')}});
  Hub_SetFrameProperty(frame, ":hub_opaque_data",
                       Hub_MakeFrameObject(testsupport::MakeHubFrame(
                           "admin_info", {{":server_tidx", index}})));
  return frame;
}

TEST_F(HubServerTest, AMessageLongerThanAHubConnectionTakesIsRefusedLikeABadHeader) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  Hub_Frame* frame = testsupport::MakeHubFrame("echo", {{":bulk", std::string(HUBIO_MAX_HUB_MESSAGE_LENGTH, 'x')}});
  int32_t length = 0;
  free(HubIO_EncodeFrame(frame, &length));
  hub.SendFrame(frame, HUB_MESSAGE_MSG_TYPE);  // the server may close before all is written
  Hub_DestroyFrame(frame);
  char header[32];
  snprintf(header, sizeof header, "00000001%08x", static_cast<unsigned>(length));
  EXPECT_TRUE(WaitForShown(std::string("W:Found invalid header ") + header +
                           " while reading from queue"));
  EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  EXPECT_TRUE(Operations().empty());
}

// The server's socket of the connection it accepted last, as its message names it.
std::string AcceptedSocket() {
  const std::string prefix = "L:Accepted connection from 127.0.0.1 (socket ";
  std::string socket;
  for (const std::string& shown : Shown()) {
    if (shown.compare(0, prefix.size(), prefix) == 0) {
      socket = shown.substr(prefix.size(), shown.find(')') - prefix.size());
    }
  }
  return socket;
}

TEST_F(HubServerTest, AHubThatNeverReadsIsDroppedOnceItsPendingOutputPassesTheLimit) {
  HubIO_SetPendingOutputLimit(1 << 20);
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  // The hub: a small receive buffer, and not one byte of it is ever read.
  HubUtil_Socket peer = HubUtil_ClientSocket("127.0.0.1", server.Port());
  ASSERT_NE(peer, HUBUTIL_INVALID_SOCKET);
  int small = 4096;
  setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  HubIO_SockObjectQueue* queue = HubIO_CreateSockObjectQueue(peer, HUBIO_CONNECTION_QUEUE_SIZE,
                                                             HUBIO_CONNECTION_QUEUE_SIZE);
  Hub_Frame* handshake =
      testsupport::MakeHubFrame("handshake", {{":conn_type", 1}, {":protocol_version", 1}});
  ASSERT_TRUE(testsupport::SendAndFlush(queue,
                                        HubIO_FrameToSockObject(handshake, HUB_MESSAGE_MSG_TYPE)));
  Hub_DestroyFrame(handshake);
  ASSERT_TRUE(hubtest::WaitUntil([&] { return HubIO_ServerConnectionCount(server.Server()) == 1; }));
  const std::string dropped = "W:More than 1048576 bytes of output wait for the peer on socket " +
                              AcceptedSocket() + ", which reads nothing; dropping the connection";
  // Calls whose replies (200 kB each) fill the server's socket, then its queue.
  constexpr size_t kMostCalls = 200;
  Hub_Frame* call = testsupport::MakeHubFrame("mirror", {{":bulk", std::string(200 * 1024, 'x')}});
  size_t sent = 0;
  for (; sent < kMostCalls && CountShown(dropped) == 0; ++sent) {
    Hub_SetFrameProperty(call, ":hub_opaque_data",
                         Hub_MakeFrameObject(testsupport::MakeHubFrame(
                             "admin_info", {{":reply_requested", 1},
                                            {":server_tidx", static_cast<int32_t>(sent)}})));
    // Once the server drops the connection, a call may no longer go out.
    if (!testsupport::SendAndFlush(queue, HubIO_FrameToSockObject(call, HUB_MESSAGE_MSG_TYPE))) break;
    ASSERT_TRUE(hubtest::WaitUntil(
        [&] { return Operations().size() > sent || CountShown(dropped) > 0; }));
  }
  Hub_DestroyFrame(call);
  EXPECT_LT(sent, kMostCalls);
  EXPECT_TRUE(WaitForShown(dropped));
  EXPECT_EQ(CountShown(dropped), 1u);
  EXPECT_EQ(CountShown(std::string("W:Write queue too full / socket error ") +
                       HubUtil_SocketErrorText(HUBIO_OUTPUT_FULL_ERROR)),
            1u);
  EXPECT_TRUE(hubtest::WaitUntil([&] { return HubIO_ServerConnectionCount(server.Server()) == 0; }));
  HubIO_DestroySockObjectQueue(queue);
  HubUtil_CloseSocket(peer);
  // Its place (the only one) is free for the next hub.
  FakeHub next;
  ASSERT_TRUE(next.ConnectToServer(server.Port(), kWaitMs));
  EXPECT_TRUE(next.Call("echo", {{":n", 0}}, kWaitMs));
}

TEST_F(HubServerTest, FramesNoReaderTakesAreDroppedWithAWarning) {
  const struct {
    int32_t messageType;
    const char* warning;
  } unwanted[] = {
      {HUB_OBJECT_MSG_TYPE, "W:Dropping HUB_OBJECT_MSG_TYPE frame o: no reader takes it"},
      {HUB_BROKER_START_MSG_TYPE, "W:Dropping HUB_BROKER_START_MSG_TYPE frame o: no reader takes it"},
      {HUB_BROKER_END_MSG_TYPE, "W:Dropping HUB_BROKER_END_MSG_TYPE frame o: no reader takes it"},
      {HUB_POSTPONE_MSG_TYPE, "W:Dropping HUB_POSTPONE_MSG_TYPE frame o: no reader takes it"},
      {HUB_REPLY_MSG_TYPE, "W:Dropping HUB_REPLY_MSG_TYPE frame o: no reader takes it"},
  };
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  Hub_Frame* frame = BulkyFrame("o", 77);
  for (int round = 0; round < 20; ++round) {
    for (const auto& message : unwanted) ASSERT_TRUE(hub.SendFrame(frame, message.messageType));
  }
  Hub_DestroyFrame(frame);
  // While an operation awaits its answer, a reply for another index goes too.
  hub.SetReply("hub_question", AutoReply::Silent());
  auto call = std::async(std::launch::async, [&] { return hub.Call("ask_hub", {}, kWaitMs); });
  std::optional<ReceivedFrame> question = hub.WaitForNamed("hub_question", kWaitMs);
  ASSERT_TRUE(question);
  int32_t index = std::stoi(question->HubValue(":server_tidx"));
  for (int32_t wrong : {index + 1, index + 2}) {
    Hub_Frame* other = BulkyFrame("o", wrong);
    ASSERT_TRUE(hub.SendFrame(other, HUB_REPLY_MSG_TYPE));
    Hub_DestroyFrame(other);
  }
  Hub_Frame* answer = testsupport::MakeHubFrame("hub_question", {{":answer", 3}});
  Hub_SetFrameProperty(answer, ":hub_opaque_data",
                       Hub_MakeFrameObject(
                           testsupport::MakeHubFrame("admin_info", {{":server_tidx", index}})));
  ASSERT_TRUE(hub.SendFrame(answer, HUB_REPLY_MSG_TYPE));
  Hub_DestroyFrame(answer);
  std::optional<ReceivedFrame> reply = call.get();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":got"), "3");
  for (const auto& message : unwanted) {
    size_t expected = message.messageType == HUB_REPLY_MSG_TYPE ? 22u : 20u;
    EXPECT_EQ(CountShown(message.warning), expected) << message.warning;
  }
}

std::atomic<int> g_handled{0};
int CountHandled(HubIO_Connection*, Hub_Frame* frame) {
  ++g_handled;
  Hub_DestroyFrame(frame);
  return 0;
}

// Bytes that arrived on the socket and are not read yet.
int Unread(HubUtil_Socket socket) {
  int count = 0;
  return ioctl(socket, FIONREAD, &count) == 0 ? count : -1;
}

// Writes the records as one stream (queued without a socket, then flushed)
// and waits until the connection's socket holds all of it.
bool Deliver(HubUtil_Socket hubSide, const HubIO_Connection* connection,
             const std::vector<HubIO_SockObject*>& records) {
  HubIO_SockObjectQueue* queue = HubIO_CreateSockObjectQueue(HUBUTIL_INVALID_SOCKET, 64, 64);
  int bytes = 0;
  for (HubIO_SockObject* record : records) {
    bytes += HUBIO_HEADER_SIZE + record->dataLength;
    HubIO_SockObjectQueueSend(queue, record);
  }
  HubIO_SockObjectQueueSetSocket(queue, hubSide);
  bool written = hubtest::WaitUntil([&] { return HubIO_SockObjectQueueFlush(queue) == 0; });
  HubIO_DestroySockObjectQueue(queue);
  return written && hubtest::WaitUntil([&] { return Unread(connection->socket) == bytes; });
}

// Replies nobody awaits and a call behind them are all at the socket: one
// poll drops every reply and hands the call on, whether or not it is the
// connection's first.
TEST_F(HubServerTest, UnsolicitedFramesQueuedBeforeACallAreAllDroppedInOnePoll) {
  const struct {
    const char* name;
    int earlierCalls;  // handled in polls of their own first
  } cases[] = {
      {"before the first call", 0},
      {"after the first call", 1},
  };
  constexpr int kUnsolicited = 800;
  const std::string warning = "W:Dropping HUB_REPLY_MSG_TYPE frame o: no reader takes it";
  Hub_Frame* unsolicited = testsupport::MakeHubFrame("o", {{":n", 1}});
  Hub_Frame* call = testsupport::MakeHubFrame("echo", {{":n", 1}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_handled = 0;
    int port = testsupport::FreePort();
    HubUtil_Socket listener = HubUtil_ServerSocket(port, 5);
    ASSERT_NE(listener, HUBUTIL_INVALID_SOCKET);
    HubIO_Connection* connection = HubIO_CreateClientConnection(
        "127.0.0.1", static_cast<uint16_t>(port), CountHandled, 0);
    ASSERT_NE(connection, nullptr);
    char peer[HUBUTIL_IPV4_TEXT_SIZE];
    HubUtil_Socket hubSide = HUBUTIL_INVALID_SOCKET;
    ASSERT_EQ(HubUtil_Accept(listener, peer, &hubSide, 1), 1);
    for (int i = 0; i < c.earlierCalls; ++i) {
      ASSERT_TRUE(Deliver(hubSide, connection, {HubIO_FrameToSockObject(call, HUB_MESSAGE_MSG_TYPE)}));
      EXPECT_EQ(HubIO_PollConnection(connection, 0), 0);
    }
    ASSERT_EQ(g_handled, c.earlierCalls);
    std::vector<HubIO_SockObject*> records;
    for (int i = 0; i < kUnsolicited; ++i) {
      records.push_back(HubIO_FrameToSockObject(unsolicited, HUB_REPLY_MSG_TYPE));
    }
    records.push_back(HubIO_FrameToSockObject(call, HUB_MESSAGE_MSG_TYPE));
    size_t before = CountShown(warning);
    ASSERT_TRUE(Deliver(hubSide, connection, records));
    EXPECT_EQ(HubIO_PollConnection(connection, 0), 0);
    EXPECT_EQ(CountShown(warning) - before, static_cast<size_t>(kUnsolicited));
    EXPECT_EQ(g_handled, c.earlierCalls + 1);
    connection->done = 1;
    HubIO_DestroyConnection(connection);
    HubUtil_CloseSocket(hubSide);
    HubUtil_CloseSocket(listener);
  }
  Hub_DestroyFrame(unsolicited);
  Hub_DestroyFrame(call);
}

struct SessionCase {
  FrameKeys keys;
  const char* lockMask;  // "" when absent
  const char* lockValue;
  const char* resetSession;
};

TEST_F(HubServerTest, SessionKeysOfTheReplyBecomeTheHubsLockFields) {
  const SessionCase cases[] = {
      {{{":hub_serve_any_session", 1}}, "1", "0", ""},
      {{{":hub_serve_this_session_only", 1}}, "1", "1", ""},
      {{{":hub_get_session_lock", 1}}, "2", "2", ""},
      {{{":hub_release_session_lock", 1}}, "2", "0", ""},
      {{{":hub_permanent_lock", 1}}, "", "", ""},
      {{{":hub_get_session_lock", 1}, {":hub_permanent_lock", 1}}, "2", "10", ""},
      {{{":hub_get_session_lock", 0}}, "", "", ""},
      {{{":hub_new_session", 1}}, "", "", "1"},
  };
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  for (const SessionCase& session : cases) {
    std::optional<ReceivedFrame> reply = hub.Call("mirror", session.keys, kWaitMs);
    ASSERT_TRUE(reply);
    SCOPED_TRACE(reply->text);
    EXPECT_EQ(reply->HubValue(":lock_mask"), session.lockMask);
    EXPECT_EQ(reply->HubValue(":lock_value"), session.lockValue);
    EXPECT_EQ(reply->HubValue(":reset_session"), session.resetSession);
  }
}

TEST_F(HubServerTest, ValidationWarnsAboutMissingAndUnlistedKeysOnly) {
  ServerOptions options;
  options.validate = true;
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  hub.SetSessionId("S2");  // exempt, as the hub data is
  ASSERT_TRUE(hub.Call("echo", {{":x", 1}}, kWaitMs));
  EXPECT_EQ(CountShown("W:For echo: obligatory input key :n not found"), 1u);
  EXPECT_EQ(CountShown("W:For echo: input key :x not permitted\n"), 1u);
  EXPECT_EQ(CountShown("W:For echo: input key :session_id not permitted\n"), 0u);
}

TEST_F(HubServerTest, FirstMessageReinitializeWithoutSuchOperationComesStraightBack) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  std::optional<ReceivedFrame> reply = hub.Call("reinitialize", {{":k", 3}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(reply->name, "reinitialize");
  EXPECT_EQ(reply->Value(":k"), "3");
  EXPECT_TRUE(Operations().empty());
}

TEST_F(HubServerTest, FirstMessageMustBeReinitializeWhenTheServerHasIt) {
  ServerOptions options;
  options.withReinitialize = true;
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  ASSERT_TRUE(hub.Send("echo", {{":n", 1}}));
  std::optional<ReceivedFrame> error = hub.WaitForNamed("system_error", kWaitMs);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->messageType, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(error->Value(":errno"), "6");
  EXPECT_EQ(error->Value(":err_description"), "first message must be reinitialize");
  EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  EXPECT_TRUE(Operations().empty());
}

// At the verbosity, a hub connected to a default server sends a message that
// has no result and calls echo; `more` then goes on with the two.
template <typename More>
void NothingThenEcho(int verbosity, More more) {
  HubUtil_SetVerbosity(verbosity);
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  ASSERT_TRUE(hub.Send("nothing", {}));
  ASSERT_TRUE(hub.Call("echo", {{":n", 1}}, kWaitMs));
  more(server, hub);
}

TEST_F(HubServerTest, ConnectionMessagesAtVerbosityTwo) {
  NothingThenEcho(2, [](RunningServer& server, FakeHub& hub) {
    hub.CloseConnection();
    std::vector<std::string> lines;
    // The connection leaves the count before its last line is printed.
    ASSERT_TRUE(hubtest::WaitUntil([&] {
      lines.clear();
      for (const std::string& shown : Shown()) {
        if (shown.compare(0, 2, "L:") == 0) lines.push_back(shown);
      }
      return lines.size() == 7u;
    }));
    std::string socket = lines[1].substr(lines[1].find("(socket "));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "L:Opened listener on port " + std::to_string(server.Port()) + "\n",
                         "L:Accepted connection from 127.0.0.1 " + socket,
                         "L:Received new message from 127.0.0.1\n",
                         "L:No result frame for 127.0.0.1\n",
                         "L:Received new message from 127.0.0.1\n",
                         "L:Returning result frame to 127.0.0.1\n",
                         "L:Destroying connection to 127.0.0.1 " + socket,
                     }));
  });
}

TEST_F(HubServerTest, HandlerMessagesCarryTheirLinesFromVerbosityFour) {
  NothingThenEcho(4, [](RunningServer&, FakeHub& hub) {
    ASSERT_TRUE(hub.Call("fail_twice", {}, kWaitMs));
    const std::string at = "I:ServerMain/generic-server:";
    EXPECT_EQ(CountShown(at + "56: Received new message from 127.0.0.1\n"), 3u);
    EXPECT_EQ(CountShown(at + "97: No result frame for 127.0.0.1\n"), 1u);
    EXPECT_EQ(CountShown(at + "80: Returning result frame to 127.0.0.1\n"), 1u);
    EXPECT_TRUE(WaitForShown(at + "91: Reply already provided to 127.0.0.1\n"));
  });
}

// ---- sending from inside an operation ----

TEST_F(HubServerTest, SendAndAwaitParksANewMessageThatArrivesBeforeTheReply) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  hub.SetSessionId("S3");
  hub.SetReply("hub_question", AutoReply::Silent());
  auto call = std::async(std::launch::async, [&] { return hub.Call("ask_hub", {}, kWaitMs); });
  std::optional<ReceivedFrame> question = hub.WaitForNamed("hub_question", kWaitMs);
  ASSERT_TRUE(question);
  EXPECT_EQ(question->messageType, HUB_MESSAGE_MSG_TYPE);
  EXPECT_EQ(question->Value(":q"), "1");
  EXPECT_EQ(question->HubValue(":reply_requested"), "1");
  EXPECT_EQ(question->HubValue(":session_id"), "S3");
  EXPECT_EQ(question->HubValue(":lock_mask"), "2");
  EXPECT_EQ(question->HubValue(":lock_value"), "2");
  std::string index = question->HubValue(":server_tidx");
  ASSERT_FALSE(index.empty());
  // A new message first, then the answer to the question.
  ASSERT_TRUE(hub.Send("echo", {{":n", 10}}));
  Hub_Frame* answer = testsupport::MakeHubFrame("hub_question", {{":answer", 99}});
  Hub_SetFrameProperty(answer, ":hub_opaque_data",
                       Hub_MakeFrameObject(testsupport::MakeHubFrame(
                           "admin_info", {{":server_tidx", std::stoi(index)}})));
  ASSERT_TRUE(hub.SendFrame(answer, HUB_REPLY_MSG_TYPE));
  Hub_DestroyFrame(answer);
  std::optional<ReceivedFrame> reply = call.get();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->name, "ask_hub");
  EXPECT_EQ(reply->Value(":got"), "99");
  // The parked message was served after the operation returned.
  std::optional<ReceivedFrame> echoed = hub.WaitForNamed("echo", kWaitMs);
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->Value(":n"), "11");
  EXPECT_EQ(Operations(), (std::vector<std::string>{"ask_hub", "echo"}));
  std::lock_guard<std::mutex> lock(calls_.mutex);
  EXPECT_EQ(calls_.askedReply, "2 hub_question 0/99");
}

struct HubAnswer {
  const char* name;
  AutoReply reply;
  const char* seen;     // by the operation: "type name :errno/:answer"
  const char* warning;  // "" for none
};

TEST_F(HubServerTest, OperationSeesTheHubsAnswerByItsMessageType) {
  AutoReply destroy;
  destroy.messageType = HUB_DESTROY_MSG_TYPE;
  AutoReply answer;
  answer.keys = {{":answer", 5}};
  const HubAnswer cases[] = {
      {"reply", answer, "2 hub_question 0/5", ""},
      {"error", AutoReply::Error(4, "%s%n"), "6 system_error 4/0", ""},
      {"destroy request", destroy, "3  0/0",
       "W:Got incomprehensible destroy request as message reply; ignoring\n"},
  };
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  for (const HubAnswer& hubAnswer : cases) {
    SCOPED_TRACE(hubAnswer.name);
    hub.SetReply("hub_question", hubAnswer.reply);
    ASSERT_TRUE(hub.Call("ask_hub", {}, kWaitMs));
    std::lock_guard<std::mutex> lock(calls_.mutex);
    EXPECT_EQ(calls_.askedReply, hubAnswer.seen);
    if (*hubAnswer.warning) {
      EXPECT_EQ(CountShown(hubAnswer.warning), 1u);
    }
  }
}

TEST_F(HubServerTest, PeerClosingMidCallEndsTheWaitAndTheConnection) {
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  hub.SetReply("hub_question", AutoReply::Silent());
  auto call = std::async(std::launch::async, [&] { return hub.Call("ask_hub", {}, kWaitMs); });
  ASSERT_TRUE(hub.WaitForNamed("hub_question", kWaitMs));
  hub.CloseConnection();
  call.get();
  EXPECT_TRUE(WaitForShown("W:Failed to read reply frame"));
  EXPECT_TRUE(hubtest::WaitUntil([&] { return HubIO_ServerConnectionCount(server.Server()) == 0; }));
  {
    std::lock_guard<std::mutex> lock(calls_.mutex);
    EXPECT_EQ(calls_.askedReply, "6 system_error 3/0");
  }
  FakeHub next;
  ASSERT_TRUE(next.ConnectToServer(server.Port(), kWaitMs));
  EXPECT_TRUE(next.Call("echo", {{":n", 0}}, kWaitMs));
}

TEST_F(HubServerTest, ConnectionJoiningAPollingServerCanStartInBrokerPolls) {
  g_brokerPolls = 0;
  g_brokerTaskMade = 0;
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  ASSERT_TRUE(hub.Call("broker_poll", {}, kWaitMs));
  EXPECT_EQ(g_brokerTaskMade.load(), 1);
  EXPECT_TRUE(hubtest::WaitUntil([] { return g_brokerPolls.load() == 1; }));
}

std::atomic<int> g_destroyed{0};
// Counts runs whose owner is a connection, not the listener record (the data).
void CountDestroyed(void* owner, void* listener, void*) {
  if (owner != listener) ++g_destroyed;
}

TEST_F(HubServerTest, ConnectionsRunCopiesOfTheListenersDestroyCallbacks) {
  g_destroyed = 0;
  RunningServer server(ServerOptions{});
  ASSERT_TRUE(server.Started());
  HubIO_Connection* listener = server.Server()->listener;
  ASSERT_TRUE(HubIO_AddConnectionCallback(listener, HUBIO_CONNECTION_DESTROYED_EVENT,
                                          CountDestroyed, listener));
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectToServer(server.Port(), kWaitMs));
  hub.CloseConnection();
  EXPECT_TRUE(hubtest::WaitUntil([] { return g_destroyed.load() == 1; }));
}

// ---- the listener ----

// Three consecutive ports below the last fallback port (the system hands out
// ports above it) of which the first two are held here and the third is free.
struct HeldPorts {
  int first = -1;
  HubUtil_Socket held[2] = {HUBUTIL_INVALID_SOCKET, HUBUTIL_INVALID_SOCKET};
  ~HeldPorts() {
    for (HubUtil_Socket socket : held) HubUtil_CloseSocket(socket);
  }
  bool Take() {
    for (int attempt = 0; attempt < 20; ++attempt) {
      int port = 20000 + (testsupport::FreePort() * 7 + attempt * 331) % 12000;
      held[0] = HubUtil_ServerSocket(port, 1);
      held[1] = HubUtil_ServerSocket(port + 1, 1);
      HubUtil_Socket probe = HubUtil_ServerSocket(port + 2, 1);
      bool ok = held[0] >= 0 && held[1] >= 0 && probe >= 0;
      HubUtil_CloseSocket(probe);
      if (ok) {
        first = port;
        return true;
      }
      for (HubUtil_Socket& socket : held) {
        HubUtil_CloseSocket(socket);
        socket = HUBUTIL_INVALID_SOCKET;
      }
    }
    return false;
  }
};

TEST_F(HubServerTest, ListenerFallsBackToTheNextFreePort) {
  HeldPorts ports;
  ASSERT_TRUE(ports.Take());
  ServerOptions options;
  options.port = ports.first;
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(server.Port(), ports.first + 2);
  EXPECT_EQ(CountShown("L:Opened listener on port " + std::to_string(ports.first + 2) + "\n"), 1u);
  FakeHub hub;
  EXPECT_TRUE(hub.ConnectToServer(ports.first + 2, kWaitMs));
}

TEST_F(HubServerTest, RequiredPortThatIsTakenFailsTheStart) {
  HeldPorts ports;
  ASSERT_TRUE(ports.Take());
  const std::string failed =
      "W:Failed to open listener on port " + std::to_string(ports.first) + " (pid " + Pid() + ")";
  // A polling server and one without polls ("-nottloop") fail alike, with no
  // other warning about the server's own callbacks.
  for (int pollInterval : {0, -1}) {
    SCOPED_TRACE(pollInterval);
    {
      std::lock_guard<std::mutex> lock(g_shownMutex);
      g_shown.clear();
    }
    HubIO_Server* server = HubIO_CreateServer(static_cast<uint16_t>(ports.first), 1,
                                              Hub_GenericMessageHandler, nullptr, pollInterval, 1);
    EXPECT_EQ(HubIO_StartServer(server), nullptr);  // destroyed and freed
    EXPECT_EQ(CountShown(failed), 1u);
    EXPECT_EQ(CountShown("W:Can't remove connection callback for unknown event type\n"), 0u);
  }
}

TEST_F(HubServerTest, NoPortAboveTheLastFallbackIsTried) {
  HubUtil_Socket held = HubUtil_ServerSocket(HUBIO_LAST_FALLBACK_PORT, 1);
  if (held == HUBUTIL_INVALID_SOCKET) GTEST_SKIP() << "port 32767 is in use";
  ServerOptions options;
  options.port = HUBIO_LAST_FALLBACK_PORT;
  RunningServer server(options);
  HubUtil_CloseSocket(held);
  EXPECT_FALSE(server.Started());
  EXPECT_EQ(CountShown("W:Failed to open listener on port 32767 (pid " + Pid() + ")"), 1u);
}

TEST_F(HubServerTest, PortZeroCannotListen) {
  HubIO_Server* server = HubIO_CreateServer(0, 0, Hub_GenericMessageHandler, nullptr, -1, 1);
  EXPECT_EQ(HubIO_OpenListener(server, nullptr), -1);
  EXPECT_EQ(server->listenerStatus, HUBIO_LISTENER_CLOSED);
  EXPECT_EQ(CountShown("W:Cannot listen on port 0"), 1u);
  HubIO_FreeServer(server);
}

// ---- hub contact ----

// Plays the hub a server contacts, on a port chosen before it listens.
class LateHub {
 public:
  explicit LateHub(int port) : port_(port) {}
  ~LateHub() {
    HubIO_DestroySockObjectQueue(queue_);
    HubUtil_CloseSocket(accepted_);
    HubUtil_CloseSocket(listener_);
  }
  bool Listen() {
    listener_ = HubUtil_ServerSocket(port_, 5);
    return listener_ != HUBUTIL_INVALID_SOCKET;
  }
  // Accepts the server and answers its handshake frame: its name, or "".
  // With `callFirst` a new message goes ahead of the answer, both in one write.
  std::string AcceptAndAnswer(bool callFirst = false) {
    HubUtil_SocketSet readable;
    HubUtil_SocketSetClear(&readable);
    HubUtil_SocketSetAdd(&readable, listener_);
    int interrupted = 0;
    if (HubUtil_Select(&readable, nullptr, nullptr, kWaitMs, &interrupted) != 1) return "";
    char peer[HUBUTIL_IPV4_TEXT_SIZE];
    if (HubUtil_Accept(listener_, peer, &accepted_, 0) != 1) return "";
    queue_ = HubIO_CreateSockObjectQueue(accepted_, HUBIO_CONNECTION_QUEUE_SIZE,
                                         HUBIO_CONNECTION_QUEUE_SIZE);
    Hub_Frame* handshake = nullptr;
    int32_t type = 0;
    bool got = hubtest::WaitUntil([&] {
      return HubIO_SockObjectQueueReadFrame(queue_, &handshake, &type, nullptr, nullptr, 0) != 0;
    });
    if (!got || !handshake) return "";
    std::string name = Hub_FrameName(handshake) ? Hub_FrameName(handshake) : "";
    name += type == HUB_MESSAGE_MSG_TYPE ? "" : "(wrong type)";
    Hub_Frame* reply = Hub_MakeFrame("handshake_reply");
    int written =
        callFirst ? WriteCallAndReply(reply) : HubIO_WriteFrame(queue_, reply, HUB_REPLY_MSG_TYPE);
    Hub_DestroyFrame(reply);
    Hub_DestroyFrame(handshake);
    return written == 0 ? name : "";
  }

 private:
  // The whole message (header and data) of the frame.
  static std::string MessageBytes(const Hub_Frame* frame, int32_t type) {
    HubIO_SockObject* record = HubIO_FrameToSockObject(frame, type);
    if (!record) return "";
    std::string bytes = std::string(record->header, HUBIO_HEADER_SIZE) +
                        std::string(record->data, record->dataLength);
    HubIO_FreeSockObject(record);
    return bytes;
  }
  // A call of the operation "nothing" and the reply, in one send: 0, or -1.
  int WriteCallAndReply(const Hub_Frame* reply) {
    Hub_Frame* call = Hub_MakeFrame("nothing");
    std::string bytes =
        MessageBytes(call, HUB_MESSAGE_MSG_TYPE) + MessageBytes(reply, HUB_REPLY_MSG_TYPE);
    Hub_DestroyFrame(call);
    HubUtil_SetBlocking(accepted_);
    long sent = HubUtil_Send(accepted_, bytes.data(), bytes.size());
    return sent == static_cast<long>(bytes.size()) ? 0 : -1;
  }

  int port_;
  HubUtil_Socket listener_ = HUBUTIL_INVALID_SOCKET;
  HubUtil_Socket accepted_ = HUBUTIL_INVALID_SOCKET;
  HubIO_SockObjectQueue* queue_ = nullptr;
};

TEST_F(HubServerTest, ContactHubIsRetriedUntilTheHubListens) {
  int port = testsupport::FreePort();
  std::string contactFailed =
      "W:Couldn't contact hub at host 127.0.0.1 and port " + std::to_string(port);
  ServerOptions options;
  options.flags = HUBIO_CONTACT_HUBS;
  options.hubList = "127.0.0.1:" + std::to_string(port);
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(server.Port(), -1);  // contact only: no listener
  EXPECT_TRUE(hubtest::WaitUntil([&] { return CountShown(contactFailed) >= 2; }));
  EXPECT_GE(CountShown("W:Failed to connect to '127.0.0.1' on port " + std::to_string(port)), 2u);
  LateHub hub(port);
  ASSERT_TRUE(hub.Listen());
  EXPECT_EQ(hub.AcceptAndAnswer(), "DM");
  EXPECT_TRUE(WaitForShown("L:Connected to hub at host 127.0.0.1 and port " +
                           std::to_string(port) + "\n"));
  EXPECT_TRUE(hubtest::WaitUntil([&] { return HubIO_ServerConnectionCount(server.Server()) == 1; }));
}

TEST_F(HubServerTest, ContactedHubThatCallsBeforeItAnswersIsConnectedAtOnce) {
  // The answer arrives in the same read as the call ahead of it; the call is
  // parked and served once the connection is up.
  HubIO_SetSetupReadLimit(20000);
  int port = testsupport::FreePort();
  LateHub hub(port);
  ASSERT_TRUE(hub.Listen());
  ServerOptions options;
  options.flags = HUBIO_CONTACT_HUBS;
  options.hubList = "127.0.0.1:" + std::to_string(port);
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(hub.AcceptAndAnswer(true), "DM");
  EXPECT_TRUE(WaitForShown("L:Connected to hub at host 127.0.0.1 and port " +
                           std::to_string(port) + "\n"));
  EXPECT_TRUE(hubtest::WaitUntil([&] { return Operations().size() == 1; }));
  EXPECT_EQ(Operations(), std::vector<std::string>{"nothing"});
}

TEST_F(HubServerTest, ContactedHubThatNeverAnswersIsGivenUpAfterTheTimeLimit) {
  HubIO_SetSetupReadLimit(200);
  int port = testsupport::FreePort();
  HubUtil_Socket listener = HubUtil_ServerSocket(port, 5);  // accepts, never answers
  ASSERT_NE(listener, HUBUTIL_INVALID_SOCKET);
  ServerOptions options;
  options.flags = HUBIO_CONTACT_HUBS;
  options.hubList = "127.0.0.1:" + std::to_string(port);
  {
    RunningServer server(options);
    ASSERT_TRUE(server.Started());
    EXPECT_TRUE(WaitForShown("W:Couldn't read handshake response while establishing connection"));
    EXPECT_TRUE(WaitForShown("W:Couldn't contact hub at host 127.0.0.1 and port " +
                             std::to_string(port)));
  }
  HubUtil_CloseSocket(listener);
}

TEST_F(HubServerTest, ContactedHubsErrorIsShownAsTextAndTheHubIsTriedAgain) {
  FakeHub hub;
  int port = hub.Listen();
  ASSERT_GT(port, 0);
  ServerOptions options;
  options.flags = HUBIO_CONTACT_HUBS;
  options.hubList = "127.0.0.1:" + std::to_string(port);
  options.sessionId = "S5";
  RunningServer server(options);
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(hub.AcceptServer(kWaitMs, AutoReply::Error(6, "%s%n busy")));
  EXPECT_TRUE(WaitForShown("W:%s%n busy"));
  EXPECT_TRUE(WaitForShown("W:Couldn't contact hub at host 127.0.0.1 and port " +
                           std::to_string(port)));
  ASSERT_TRUE(hub.AcceptServer(kWaitMs));
  std::optional<ReceivedFrame> handshake = hub.Handshake();
  ASSERT_TRUE(handshake);
  EXPECT_EQ(handshake->messageType, HUB_MESSAGE_MSG_TYPE);
  EXPECT_EQ(handshake->name, "DM");
  EXPECT_EQ(handshake->Value(":session_id"), "S5");
  EXPECT_FALSE(handshake->Has(":hub_opaque_data"));  // no stamp
  EXPECT_TRUE(WaitForShown("L:Connected to hub at host 127.0.0.1 and port " +
                           std::to_string(port) + "\n"));
  // The hub calls the server over the connection the server opened.
  std::optional<ReceivedFrame> reply = hub.Call("echo", {{":n", 5}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":n"), "6");
  // A lost hub is contacted again.
  hub.CloseConnection();
  ASSERT_TRUE(hub.AcceptServer(kWaitMs));
  reply = hub.Call("echo", {{":n", 7}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":n"), "8");
}

struct HubListCase {
  const char* text;
  std::vector<std::string> hosts;
  std::vector<int> ports;
  std::vector<std::string> warnings;
};

TEST_F(HubServerTest, HubListIsSplitIntoLocations) {
  const HubListCase cases[] = {
      {"127.0.0.1:5 hostonly\tb:7", {"127.0.0.1", "b"}, {5, 7},
       {"W:Incomplete Hub location hostonly. Skipping\n"}},
      {"  a:65535  ", {"a"}, {65535}, {}},
      {"a:x", {"a"}, {0}, {}},  // contacting it warns about the invalid port
      {"", {}, {}, {}},
      {"nohost", {}, {}, {"W:Incomplete Hub location nohost. Skipping\n"}},
  };
  for (const HubListCase& list : cases) {
    SCOPED_TRACE(list.text);
    {
      std::lock_guard<std::mutex> lock(g_shownMutex);
      g_shown.clear();
    }
    HubIO_Server* server = HubIO_CreateServer(1, 0, Hub_GenericMessageHandler, nullptr, -1, 1);
    HubIO_SetServerHubList(server, list.text);
    std::vector<std::string> hosts;
    std::vector<int> ports;
    for (int i = 0; server->hubs && server->hubs[i].host; ++i) {
      hosts.push_back(server->hubs[i].host);
      ports.push_back(server->hubs[i].port);
      EXPECT_EQ(server->hubs[i].state, HUBIO_HUB_NEVER_TRIED);
    }
    EXPECT_EQ(hosts, list.hosts);
    EXPECT_EQ(ports, list.ports);
    EXPECT_EQ(Shown(), list.warnings);
    HubIO_FreeServer(server);
  }
}

// ---- local failures ----

struct LocalFailure {
  const char* name;
  bool nullFrame;
  bool shutDown;
  int32_t errorNumber;
  const char* warning;
};

TEST_F(HubServerTest, LocalSendFailuresComeBackAsErrorFrames) {
  const LocalFailure cases[] = {
      {"null frame", true, false, 5, "W:Did not dispatch NULL frame"},
      {"shut-down connection", false, true, 2, "W:Failed to send new message"},
  };
  FakeHub hub;
  int port = hub.Listen();
  ASSERT_GT(port, 0);
  for (const LocalFailure& failure : cases) {
    SCOPED_TRACE(failure.name);
    HubIO_Connection* connection =
        HubIO_CreateClientConnection("127.0.0.1", static_cast<uint16_t>(port), nullptr, 0);
    ASSERT_NE(connection, nullptr);
    if (failure.shutDown) HubIO_ShutdownConnection(connection);
    Hub_CallEnvironment* env = Hub_CreateCallEnvironment(connection);
    Hub_AddCallEnvironmentReference(env);
    Hub_Frame* frame = failure.nullFrame ? nullptr : Hub_MakeFrame("question");
    int32_t type = -1;
    Hub_Frame* reply = Hub_EnvSendAndAwaitReply(env, frame, &type);
    EXPECT_EQ(type, HUB_ERROR_MSG_TYPE);
    EXPECT_EQ(Hub_FrameName(reply), std::string("system_error"));
    EXPECT_EQ(Hub_GetFrameInt(reply, ":errno"), failure.errorNumber);
    EXPECT_EQ(CountShown(failure.warning), 1u);
    Hub_DestroyFrame(reply);
    Hub_DestroyFrame(frame);
    // Destroyed while the environment refers to it: freed at the release.
    HubIO_DestroyConnection(connection);
    EXPECT_EQ(connection->state, HUBIO_CONNECTION_DESTROYED);
    Hub_ReleaseCallEnvironment(env);
  }
  EXPECT_EQ(CountShown("W:Can't write message because socket is not connected (pid " + Pid() + ")"),
            1u);
}

struct CallbackProbe {
  std::vector<std::string> calls;
  HubIO_Callback* first = nullptr;
  HubIO_Callback* victim = nullptr;
};

// The first callback removes itself and the next one; the third stays.
void FirstCallback(void* owner, void* data, void*) {
  auto* probe = static_cast<CallbackProbe*>(data);
  probe->calls.push_back("first");
  auto* connection = static_cast<HubIO_Connection*>(owner);
  HubIO_RemoveConnectionCallback(connection, probe->victim);
  HubIO_RemoveConnectionCallback(connection, probe->first);
}
void VictimCallback(void*, void* data, void*) {
  static_cast<CallbackProbe*>(data)->calls.push_back("victim");
}
void ThirdCallback(void*, void* data, void*) {
  static_cast<CallbackProbe*>(data)->calls.push_back("third");
}

TEST_F(HubServerTest, ACallbackRemovedByAnEarlierOneOfTheSameRunIsNotCalled) {
  HubIO_Server* server = HubIO_CreateServer(1, 0, Hub_GenericMessageHandler, nullptr, -1, 1);
  HubIO_Connection* connection = server->listener;
  CallbackProbe probe;
  probe.first = HubIO_AddConnectionCallback(connection, HUBIO_DISPATCH_EVENT, FirstCallback, &probe);
  probe.victim =
      HubIO_AddConnectionCallback(connection, HUBIO_DISPATCH_EVENT, VictimCallback, &probe);
  HubIO_AddConnectionCallback(connection, HUBIO_DISPATCH_EVENT, ThirdCallback, &probe);
  HubIO_RunConnectionCallbacks(connection, HUBIO_DISPATCH_EVENT, nullptr);
  HubIO_RunConnectionCallbacks(connection, HUBIO_DISPATCH_EVENT, nullptr);
  EXPECT_EQ(probe.calls, (std::vector<std::string>{"first", "third", "third"}));
  HubIO_FreeServer(server);
}

TEST_F(HubServerTest, UnknownCallbackEventsAreRefused) {
  HubIO_Server* server = HubIO_CreateServer(1, 0, Hub_GenericMessageHandler, nullptr, -1, 1);
  EXPECT_EQ(HubIO_AddServerCallback(server, HUBIO_SOCKET_CLOSING_EVENT, nullptr, nullptr), nullptr);
  EXPECT_EQ(CountShown("W:Can't record server callback for unknown event type\n"), 1u);
  EXPECT_EQ(HubIO_AddConnectionCallback(server->listener, HUBIO_CONNECTION_SETUP_EVENT, nullptr,
                                        nullptr),
            nullptr);
  EXPECT_EQ(CountShown("W:Can't record connection callback for unknown event type\n"), 1u);
  HubIO_FreeServer(server);
}

TEST_F(HubServerTest, SettingsOfAPlaceholderAreIgnoredButNameAndPort) {
  HubIO_Server* server = HubIO_CreatePlaceholderServer();
  EXPECT_TRUE(HubIO_ServerIsPlaceholder(server));
  HubIO_SetServerNameAndPort(server, "DM", 12001);
  HubIO_SetServerMaxConnections(server, 5);
  HubIO_SetServerDispatchTable(server, ToyTable());  // not kept, not leaked
  EXPECT_STREQ(HubIO_ServerName(server), "DM");
  EXPECT_EQ(HubIO_ServerPort(server), 12001);
  EXPECT_EQ(HubIO_GetServerDispatchTable(server), nullptr);
  EXPECT_EQ(HubIO_ServerPolls(server), 0);
  HubIO_DestroyServer(server);
}

TEST_F(HubServerTest, MaxConnectionsTakesOnlyUsableValues) {
  HubIO_Server* server = HubIO_CreateServer(1, 0, Hub_GenericMessageHandler, nullptr, 0, 0);
  EXPECT_EQ(HubIO_ServerMaxConnections(server), 1);
  EXPECT_EQ(server->pollInterval, HUBIO_DEFAULT_POLL_INTERVAL);
  HubIO_SetServerMaxConnections(server, 0);
  EXPECT_EQ(HubIO_ServerMaxConnections(server), 1);
  HubIO_SetServerMaxConnections(server, 3);
  EXPECT_EQ(HubIO_ServerMaxConnections(server), 3);
  HubIO_FreeServer(server);
}

// ---- process-wide behaviour, in fresh processes ----

TEST(HubServerProcessTest, TransactionIndexStartsAtZero) {
  EXPECT_EXIT(
      {
        Hub_InitializeStatics();
        Hub_Frame* frame = Hub_MakeFrame("x");
        int first = HubIO_StampMessage(frame, ":reply_requested");
        int second = HubIO_StampMessage(frame, ":reply_requested");
        exit(first == 0 && second == 1 && Hub_GetFrameInt(Hub_GetFrameFrame(frame, ":hub_opaque_data"),
                                                           ":server_tidx") == 1
                 ? 0
                 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(HubServerProcessTest, CreatingAServerInstallsTheSignalHandlers) {
  EXPECT_EXIT(
      {
        Hub_InitializeStatics();
        HubIO_CreateServer(1, 0, Hub_GenericMessageHandler, nullptr, -1, 1);
        raise(SIGTERM);
        exit(0);
      },
      ::testing::ExitedWithCode(1), "Received signal 15; exiting");
}

}  // namespace
