// The fake hub against a minimal server written here on the wire format
// alone (a socket, raw message reads, frames written through a socket queue):
// both handshakes byte for byte, calls and their replies, automatic answers
// to the server's frames, the records kept, and waits that give up in time.
#include "tests/support/FakeHub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/frames/PrintUtil.h"
#include "libhub/io/BinaryIO.h"
#include "libhub/io/Xdr.h"
#include "tests/support/FakeBroker.h"
#include "tests/support/FreePort.h"

namespace testsupport {
namespace {

constexpr int kWaitMs = 5000;
// A time-out no wait of a passing test reaches: a wait that must end for
// another reason is given this one.
constexpr int kNeverMs = 600000;

struct FrameDeleter {
  void operator()(Hub_Frame* frame) const { Hub_DestroyFrame(frame); }
};
using FramePtr = std::unique_ptr<Hub_Frame, FrameDeleter>;

// Bytes as lower-case hex, a blank after every 4 bytes.
std::string Hex(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 4 == 0) text += ' ';
    char digits[3];
    snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
    text += digits;
  }
  return text;
}

// The readable text of a frame.
std::string Text(const Hub_Frame* frame) {
  Hub_PrintContext* context = Hub_CreatePrintContext(HUB_READABLE_LAYOUT, nullptr);
  Hub_PrintFrame(frame, context);
  std::string text = Hub_PrintContextText(context);
  Hub_DestroyPrintContext(context);
  return text;
}

int ElapsedMs(std::chrono::steady_clock::time_point start) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count());
}

// Runs the work in a thread of its own and waits at most `timeoutMs` for it to
// return: true when it did (a work that never returns holds the test up only
// until its own time-outs end it).
template <typename Work>
bool ReturnsWithin(int timeoutMs, Work work) {
  std::future<void> done = std::async(std::launch::async, work);
  return done.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

// One message as it came off the socket.
struct RawMessage {
  int32_t type = -1;
  std::string data;   // the data block
  std::string bytes;  // header and data
};

// A server reduced to the wire: one connection, driven by the test.
class MiniServer {
 public:
  MiniServer() { Hub_InitializeStatics(); }
  ~MiniServer() {
    Close();
    HubUtil_CloseSocket(listener_);
  }

  int Listen() {
    for (int attempt = 0; attempt < 20 && listener_ < 0; ++attempt) {
      port_ = FreePort();
      listener_ = HubUtil_ServerSocket(port_, 5);
    }
    return listener_ >= 0 ? port_ : -1;
  }

  bool Accept(int timeoutMs) {
    HubUtil_SocketSet ready;
    HubUtil_SocketSetClear(&ready);
    HubUtil_SocketSetAdd(&ready, listener_);
    int interrupted = 0;
    char peer[HUBUTIL_IPV4_TEXT_SIZE];
    HubUtil_Socket socket = -1;
    return HubUtil_Select(&ready, nullptr, nullptr, timeoutMs, &interrupted) > 0 &&
           HubUtil_Accept(listener_, peer, &socket, 0) == 1 && Attach(socket);
  }

  bool Connect(int port) { return Attach(HubUtil_ClientSocket("127.0.0.1", port)); }

  // The next whole message, or nothing when the time passes or the peer closes.
  std::optional<RawMessage> ReadMessage(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Fill(8, deadline)) return std::nullopt;
    auto word = [this](int at) {
      uint32_t value = 0;
      for (int b = 0; b < 4; ++b) value = value << 8 | static_cast<unsigned char>(input_[at + b]);
      return static_cast<int32_t>(value);
    };
    RawMessage message;
    message.type = word(0);
    size_t total = 8 + static_cast<size_t>(word(4));
    if (!Fill(total, deadline)) return std::nullopt;
    message.bytes = input_.substr(0, total);
    message.data = message.bytes.substr(8);
    input_.erase(0, total);
    return message;
  }

  // The next message's frame (null when none came or it is not a frame).
  FramePtr ReadFrame(int timeoutMs, int32_t* messageType = nullptr) {
    std::optional<RawMessage> message = ReadMessage(timeoutMs);
    if (!message) return nullptr;
    if (messageType) *messageType = message->type;
    int32_t type = 0, size = 0;
    uintptr_t value = 0;
    if (!HubIO_DecodeElement(message->data.data(), static_cast<int32_t>(message->data.size()),
                             &type, &value, &size)) {
      return nullptr;
    }
    if (type == HUB_FRAME) return FramePtr(reinterpret_cast<Hub_Frame*>(value));
    HubIO_FreeElement(type, value, size);
    return nullptr;
  }

  bool Write(const Hub_Frame* frame, int32_t messageType) {
    return Flushed(HubIO_WriteFrame(queue_, frame, messageType));
  }
  bool WriteEmpty(int32_t messageType) {
    return Flushed(
        HubIO_SockObjectQueueSend(queue_, HubIO_MakeSockObject(nullptr, messageType, 0, 0)));
  }

  // True once the peer has closed the connection.
  bool WaitForEnd(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Fill(input_.size() + 1, deadline)) input_.clear();
    return closed_;
  }

  void Close() {
    HubIO_DestroySockObjectQueue(queue_);
    queue_ = nullptr;
    HubUtil_CloseSocket(socket_);
    socket_ = -1;
  }

 private:
  bool Attach(HubUtil_Socket socket) {
    if (socket < 0) return false;
    socket_ = socket;
    queue_ = HubIO_CreateSockObjectQueue(socket, HUBIO_CONNECTION_QUEUE_SIZE,
                                         HUBIO_CONNECTION_QUEUE_SIZE);
    return true;
  }

  bool Flushed(int result) {
    for (int i = 0; result == 1 && i < kWaitMs; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      result = HubIO_SockObjectQueueFlush(queue_);
    }
    return result == 0;
  }

  // Reads until `count` bytes are held; false at the deadline or the end.
  bool Fill(size_t count, std::chrono::steady_clock::time_point deadline) {
    while (input_.size() < count && !closed_) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now())
                                      .count());
      if (left <= 0) return false;
      HubUtil_SocketSet ready;
      HubUtil_SocketSetClear(&ready);
      HubUtil_SocketSetAdd(&ready, socket_);
      int interrupted = 0;
      if (HubUtil_Select(&ready, nullptr, nullptr, left, &interrupted) <= 0) continue;
      char chunk[4096];
      long got = HubUtil_Receive(socket_, chunk, sizeof chunk);
      if (got > 0) input_.append(chunk, static_cast<size_t>(got));
      if (got == 0 || (got < 0 && !HubUtil_SocketErrorWouldBlock(HubUtil_SocketError()))) {
        closed_ = true;
      }
    }
    return input_.size() >= count;
  }

  HubUtil_Socket listener_ = -1;
  int port_ = -1;
  HubUtil_Socket socket_ = -1;
  HubIO_SockObjectQueue* queue_ = nullptr;
  std::string input_;
  bool closed_ = false;
};

// The handshake frame of a server named "DM".
FramePtr ServerHandshake() {
  return FramePtr(MakeHubFrame("DM", {{":protocol_version", 1}}));
}

// A frame whose hub data asks for a reply (or not) under the transaction index.
FramePtr ServerMessage(const std::string& name, int32_t index, bool replyRequested) {
  FramePtr frame(MakeHubFrame(name, {{":synthetise", "ahoj"}}));
  FrameKeys hubKeys;
  if (replyRequested) hubKeys.emplace_back(":reply_requested", 1);
  hubKeys.emplace_back(":server_tidx", index);
  Hub_SetFrameProperty(frame.get(), ":hub_opaque_data",
                       Hub_MakeFrameObject(MakeHubFrame("admin_info", hubKeys)));
  return frame;
}

// A fake hub connected to a mini server (the hub connected, the server answered).
class ConnectedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int port = server_.Listen();
    ASSERT_GT(port, 0);
    std::thread peer([this] {
      if (server_.Accept(kWaitMs) && server_.ReadMessage(kWaitMs)) {
        server_.Write(ServerHandshake().get(), HUB_REPLY_MSG_TYPE);
      }
    });
    bool connected = hub_.ConnectToServer(port, kWaitMs);
    peer.join();
    ASSERT_TRUE(connected);
  }

  MiniServer server_;
  FakeHub hub_;
};

// ---- the hub that connects ----

TEST(FakeHubConnectTest, SendsTheHubHandshakeAndKeepsTheServerFrame) {
  MiniServer server;
  int port = server.Listen();
  std::optional<RawMessage> handshake;
  std::thread peer([&] {
    if (!server.Accept(kWaitMs)) return;
    handshake = server.ReadMessage(kWaitMs);
    FramePtr reply(MakeHubFrame("DM", {{":signatures", "none"}, {":protocol_version", 1}}));
    server.Write(reply.get(), HUB_REPLY_MSG_TYPE);
  });
  FakeHub hub;
  EXPECT_TRUE(hub.ConnectToServer(port, kWaitMs));
  peer.join();
  ASSERT_TRUE(handshake);
  // {c handshake :conn_type 1 :protocol_version 1 } as a new message.
  EXPECT_EQ(Hex(handshake->bytes),
            "00000001 00000058 00000001 00000002 00000009 68616e64 7368616b 65000000 "
            "00000002 0000000a 3a636f6e 6e5f7479 70650000 00000003 00000001 00000011 "
            "3a70726f 746f636f 6c5f7665 7273696f 6e000000 00000003 00000001 00000000");
  std::optional<ReceivedFrame> answer = hub.Handshake();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(answer->name, "DM");
  EXPECT_EQ(answer->Keys(), (std::vector<std::string>{":signatures", ":protocol_version"}));
  EXPECT_TRUE(hub.Connected());
  ASSERT_EQ(hub.Received().size(), 1u);
  EXPECT_EQ(hub.Received()[0].text, "{c DM :signatures \"none\" :protocol_version 1 }");
}

enum class ServerAnswer { kError, kClose, kSilent };

struct RefusedHandshake {
  const char* label;
  int32_t connectionType;
  ServerAnswer answer;
  int32_t expectedType;  // of the handshake kept; -1: none kept
};

class FakeHubRefusedTest : public ::testing::TestWithParam<RefusedHandshake> {};

TEST_P(FakeHubRefusedTest, FailsInTimeAndKeepsWhatCame) {
  const RefusedHandshake& row = GetParam();
  MiniServer server;
  int port = server.Listen();
  int32_t connectionType = 0;
  std::thread peer([&] {
    if (!server.Accept(kWaitMs)) return;
    FramePtr handshake = server.ReadFrame(kWaitMs);
    connectionType = Hub_GetFrameInt(handshake.get(), ":conn_type");
    if (row.answer == ServerAnswer::kError) {
      FramePtr error(MakeHubFrame(
          "system_error", {{":errno", 6}, {":err_description", "max connections exceeded"}}));
      server.Write(error.get(), HUB_ERROR_MSG_TYPE);
    }
    if (row.answer != ServerAnswer::kSilent) server.Close();
    if (row.answer == ServerAnswer::kSilent) server.WaitForEnd(kWaitMs);
  });
  FakeHub hub;
  bool connected = true;
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] {
    connected = hub.ConnectToServer(port, row.answer == ServerAnswer::kSilent ? 300 : kNeverMs,
                                    row.connectionType);
  }));
  EXPECT_FALSE(connected);
  hub.Close();  // lets a silent server see the end
  peer.join();
  EXPECT_EQ(connectionType, row.connectionType);
  std::optional<ReceivedFrame> kept = hub.Handshake();
  EXPECT_EQ(kept ? kept->messageType : -1, row.expectedType);
  if (row.answer == ServerAnswer::kError) {
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->name, "system_error");
    EXPECT_EQ(kept->Value(":errno"), "6");
    EXPECT_EQ(kept->Value(":err_description"), "max connections exceeded");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FakeHubRefusedTest,
    ::testing::Values(RefusedHandshake{"ErrorFrame", 1, ServerAnswer::kError, HUB_ERROR_MSG_TYPE},
                      RefusedHandshake{"BrokerType", 2, ServerAnswer::kError, HUB_ERROR_MSG_TYPE},
                      RefusedHandshake{"ServerCloses", 1, ServerAnswer::kClose, -1},
                      RefusedHandshake{"ServerSilent", 1, ServerAnswer::kSilent, -1}),
    [](const ::testing::TestParamInfo<RefusedHandshake>& info) { return info.param.label; });

TEST(FakeHubConnectTest, NothingListeningFailsAtOnce) {
  FakeHub hub;
  bool connected = true;
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] { connected = hub.ConnectToServer(FreePort(), kNeverMs); }));
  EXPECT_FALSE(connected);
  EXPECT_FALSE(hub.Connected());
  EXPECT_FALSE(hub.Call("reinitialize", {}, kWaitMs));
}

TEST(FakeHubConnectTest, SilentClientSendsNothingAndSeesTheDrop) {
  MiniServer server;
  int port = server.Listen();
  FakeHub hub;
  ASSERT_TRUE(hub.ConnectSilently(port));
  ASSERT_TRUE(server.Accept(kWaitMs));
  EXPECT_FALSE(server.ReadMessage(200));
  EXPECT_TRUE(hub.Connected());
  server.Close();
  EXPECT_TRUE(hub.WaitForPeerClose(kWaitMs));
  EXPECT_FALSE(hub.Handshake());
}

// ---- the hub a server contacts ----

struct ContactAnswer {
  const char* label;
  AutoReply answer;
  int32_t expectedType;  // -1: nothing comes back
  const char* expectedText;
};

class FakeHubAcceptTest : public ::testing::TestWithParam<ContactAnswer> {};

TEST_P(FakeHubAcceptTest, TakesTheServerHandshakeAndAnswersIt) {
  const ContactAnswer& row = GetParam();
  FakeHub hub;
  int port = hub.Listen();
  ASSERT_GT(port, 0);
  EXPECT_EQ(hub.ListeningPort(), port);
  MiniServer server;
  std::optional<RawMessage> answer;
  std::thread peer([&] {
    if (!server.Connect(port)) return;
    server.Write(ServerHandshake().get(), HUB_MESSAGE_MSG_TYPE);
    answer = server.ReadMessage(300);
  });
  EXPECT_TRUE(hub.AcceptServer(kWaitMs, row.answer));
  peer.join();
  std::optional<ReceivedFrame> handshake = hub.Handshake();
  ASSERT_TRUE(handshake);
  EXPECT_EQ(handshake->messageType, HUB_MESSAGE_MSG_TYPE);
  EXPECT_EQ(handshake->text, "{c DM :protocol_version 1 }");
  EXPECT_EQ(answer ? answer->type : -1, row.expectedType);
  if (!answer) return;
  int32_t type = 0, size = 0;
  uintptr_t value = 0;
  ASSERT_TRUE(HubIO_DecodeElement(answer->data.data(), static_cast<int32_t>(answer->data.size()),
                                  &type, &value, &size));
  ASSERT_EQ(type, HUB_FRAME);
  FramePtr frame(reinterpret_cast<Hub_Frame*>(value));
  EXPECT_EQ(Text(frame.get()), row.expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FakeHubAcceptTest,
    ::testing::Values(
        ContactAnswer{"Reply", AutoReply(), HUB_REPLY_MSG_TYPE, "{c DM }"},
        ContactAnswer{"Error", AutoReply::Error(6, "nope"), HUB_ERROR_MSG_TYPE,
                      "{c system_error :errno 6 :err_description \"nope\" }"},
        ContactAnswer{"Silent", AutoReply::Silent(), -1, ""}),
    [](const ::testing::TestParamInfo<ContactAnswer>& info) { return info.param.label; });

TEST(FakeHubAcceptTest, AnswersTheHandshakeWithTheseBytes) {
  FakeHub hub;
  int port = hub.Listen();
  MiniServer server;
  std::optional<RawMessage> answer;
  std::thread peer([&] {
    if (!server.Connect(port)) return;
    server.Write(ServerHandshake().get(), HUB_MESSAGE_MSG_TYPE);
    answer = server.ReadMessage(kWaitMs);
  });
  EXPECT_TRUE(hub.AcceptServer(kWaitMs));
  peer.join();
  ASSERT_TRUE(answer);
  // {c DM } as a reply.
  EXPECT_EQ(Hex(answer->bytes),
            "00000002 00000018 00000001 00000002 00000002 444d0000 00000000 00000000");
}

TEST(FakeHubAcceptTest, NoServerOrNoHandshakeGivesUpInTime) {
  FakeHub hub;
  EXPECT_FALSE(hub.AcceptServer(100));  // not listening
  int port = hub.Listen();
  MiniServer server;
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] {
    EXPECT_FALSE(hub.AcceptServer(200));  // nobody connects
    ASSERT_TRUE(server.Connect(port));     // connects and stays silent
    EXPECT_FALSE(hub.AcceptServer(200));
  }));
  EXPECT_FALSE(hub.Handshake());
}

// ---- calls ----

TEST_F(ConnectedTest, CallStampsItsHubDataAndReturnsTheMatchingReply) {
  hub_.SetSessionId("s1");
  std::thread peer([this] {
    int32_t type = 0;
    FramePtr call = server_.ReadFrame(kWaitMs, &type);
    if (!call) return;
    EXPECT_EQ(type, HUB_MESSAGE_MSG_TYPE);
    EXPECT_EQ(Text(call.get()),
              "{c DM.ProcessParse :utt \"ano\" :conf 9.000000e-01 :noinput 0 :hub_opaque_data "
              "{c admin_info :session_id \"s1\" :reply_requested 1 :server_tidx 0 } }");
    // A reply for another index first: recorded, not taken.
    server_.Write(ServerMessage("DM.ProcessParse", 99, false).get(), HUB_REPLY_MSG_TYPE);
    Hub_SetFrameProperty(call.get(), ":answer", Hub_MakeIntObject(5));
    server_.Write(call.get(), HUB_REPLY_MSG_TYPE);
  });
  std::optional<ReceivedFrame> reply = hub_.Call(
      "DM.ProcessParse", {{":utt", "ano"}, {":conf", 0.9}, {":noinput", 0}}, kWaitMs);
  peer.join();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(reply->name, "DM.ProcessParse");
  EXPECT_EQ(reply->HubValue(":server_tidx"), "0");
  EXPECT_EQ(reply->HubValue(":session_id"), "s1");
  EXPECT_EQ(reply->Value(":answer"), "5");
  EXPECT_EQ(reply->Keys(), (std::vector<std::string>{":utt", ":conf", ":noinput",
                                                     ":hub_opaque_data", ":answer"}));
  EXPECT_EQ(hub_.Received().size(), 3u);  // handshake, the other reply, this one
}

TEST_F(ConnectedTest, ErrorAndDestroyAnswersEndTheCall) {
  for (int32_t type : {HUB_ERROR_MSG_TYPE, HUB_DESTROY_MSG_TYPE}) {
    std::thread peer([this, type] {
      FramePtr call = server_.ReadFrame(kWaitMs);
      if (!call) return;
      FramePtr answer(MakeHubFrame("system_error", {{":errno", 1}}));
      Hub_SetFrameProperty(answer.get(), ":hub_opaque_data",
                           Hub_MakeFrameObject(Hub_CopyFrame(
                               Hub_GetFrameFrame(call.get(), ":hub_opaque_data"))));
      server_.Write(answer.get(), type);
    });
    std::optional<ReceivedFrame> reply = hub_.Call("nosuch", {}, kWaitMs);
    peer.join();
    ASSERT_TRUE(reply) << type;
    EXPECT_EQ(reply->messageType, type);
    EXPECT_EQ(reply->Value(":errno"), "1");
  }
}

TEST_F(ConnectedTest, SendAsksForNoReplyButKeepsAnIndex) {
  EXPECT_TRUE(hub_.Send("reset_dm", {}));
  FramePtr sent = server_.ReadFrame(kWaitMs);
  ASSERT_TRUE(sent);
  EXPECT_EQ(Text(sent.get()), "{c reset_dm :hub_opaque_data {c admin_info :server_tidx 0 } }");
}

TEST_F(ConnectedTest, CallTimesOutOrEndsWhenTheServerGoes) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(hub_.Call("BeginSession", {}, 200));
  EXPECT_GE(ElapsedMs(start), 190);  // never early
  std::thread peer([this] {
    if (server_.ReadFrame(kWaitMs)) server_.Close();
  });
  // The server closes mid-call.
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] { EXPECT_FALSE(hub_.Call("EndSession", {}, kNeverMs)); }));
  peer.join();
  EXPECT_TRUE(hub_.WaitForPeerClose(kWaitMs));
  EXPECT_FALSE(hub_.Connected());
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] { EXPECT_FALSE(hub_.Call("EndSession", {}, kNeverMs)); }));
}

TEST_F(ConnectedTest, CallFrameSendsACopyOfTheCallersFrame) {
  FramePtr frame(MakeHubFrame("TakeAudio", {{":proxy", FrameValue::Proxy("c1", "127.0.0.1", 9,
                                                                          HUB_INT_16)},
                                             {":sample_rate", 8000}}));
  std::thread peer([this] {
    FramePtr call = server_.ReadFrame(kWaitMs);
    if (call) server_.Write(call.get(), HUB_REPLY_MSG_TYPE);
  });
  std::optional<ReceivedFrame> reply = hub_.CallFrame(frame.get(), kWaitMs);
  peer.join();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Value(":proxy"),
            "\"[non-readable frame element: broker proxy, call ID c1, host 127.0.0.1, port 9, "
            "type HUB_INT_16]\"");
  EXPECT_EQ(reply->Find(":proxy")->type, "HUB_PROXY");
  EXPECT_EQ(reply->Find(":sample_rate")->type, "HUB_INT");
  EXPECT_FALSE(Hub_GetFrameObject(frame.get(), ":hub_opaque_data"));  // still the caller's own
}

// ---- answering the server ----

struct AnswerCase {
  const char* label;
  bool replyRequested;
  std::optional<AutoReply> dialogReply;  // set for "dialog"; none: the default
  int32_t expectedType;                  // -1: no answer
  const char* expectedText;
};

class FakeHubAnswerTest : public ConnectedTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(FakeHubAnswerTest, AnswersFramesThatAskForAReply) {
  const AnswerCase& row = GetParam();
  hub_.SetReply("other", AutoReply::Error(9, "not this one"));
  if (row.dialogReply) hub_.SetReply("dialog", *row.dialogReply);
  ASSERT_TRUE(server_.Write(ServerMessage("dialog", 7, row.replyRequested).get(),
                            HUB_MESSAGE_MSG_TYPE));
  int32_t type = -1;
  FramePtr answer = server_.ReadFrame(row.expectedType < 0 ? 300 : kWaitMs, &type);
  EXPECT_EQ(answer ? type : -1, row.expectedType);
  if (answer) {
    EXPECT_EQ(Text(answer.get()), row.expectedText);
  }
  std::optional<ReceivedFrame> seen = hub_.WaitForNamed("dialog", kWaitMs);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->messageType, HUB_MESSAGE_MSG_TYPE);
  EXPECT_EQ(seen->Value(":synthetise"), "ahoj");
}

AutoReply OkReply() {
  AutoReply reply;
  reply.keys = {{":ok", 1}};
  return reply;
}

AutoReply RenamedReply() {
  AutoReply reply;
  reply.name = "reply";
  return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FakeHubAnswerTest,
    ::testing::Values(
        AnswerCase{"Default", true, std::nullopt, HUB_REPLY_MSG_TYPE,
                   "{c dialog :hub_opaque_data {c admin_info :reply_requested 1 "
                   ":server_tidx 7 } }"},
        AnswerCase{"Keys", true, OkReply(), HUB_REPLY_MSG_TYPE,
                   "{c dialog :ok 1 :hub_opaque_data {c admin_info :reply_requested 1 "
                   ":server_tidx 7 } }"},
        AnswerCase{"Renamed", true, RenamedReply(), HUB_REPLY_MSG_TYPE,
                   "{c reply :hub_opaque_data {c admin_info :reply_requested 1 :server_tidx 7 } }"},
        AnswerCase{"Error", true, AutoReply::Error(3, "busy"), HUB_ERROR_MSG_TYPE,
                   "{c system_error :errno 3 :err_description \"busy\" :hub_opaque_data "
                   "{c admin_info :reply_requested 1 :server_tidx 7 } }"},
        AnswerCase{"Silent", true, AutoReply::Silent(), -1, ""},
        AnswerCase{"NotAsked", false, std::nullopt, -1, ""}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.label; });

TEST_F(ConnectedTest, DefaultReplyCanBeReplaced) {
  hub_.SetDefaultReply(AutoReply::Error(2, "down"));
  ASSERT_TRUE(server_.Write(ServerMessage("StopCall", 1, true).get(), HUB_MESSAGE_MSG_TYPE));
  int32_t type = -1;
  FramePtr answer = server_.ReadFrame(kWaitMs, &type);
  ASSERT_TRUE(answer);
  EXPECT_EQ(type, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(Hub_GetFrameInt(answer.get(), ":errno"), 2);
}

// ---- records ----

TEST_F(ConnectedTest, RecordsKeysInOrderWithTypesAndValues) {
  FramePtr note(MakeHubFrame("note", {{":b", 2}, {":a", "x y"}}));
  Hub_SetFrameProperty(note.get(), ":f", Hub_MakeFrameObject(MakeHubFrame("inner", {{":k", 1}})));
  Hub_SetFrameProperty(note.get(), ":s", Hub_MakeSymbolObject("sym"));
  ASSERT_TRUE(server_.Write(note.get(), HUB_MESSAGE_MSG_TYPE));
  ASSERT_TRUE(server_.Write(ServerHandshake().get(), HUB_MESSAGE_MSG_TYPE));
  std::optional<ReceivedFrame> first = hub_.WaitForFrame(1, kWaitMs);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->name, "note");
  EXPECT_EQ(first->kind, HUB_KIND_CLAUSE);
  struct Expected {
    const char* key;
    const char* type;
    const char* value;
  };
  const Expected expected[] = {{":b", "HUB_INT", "2"},
                               {":a", "HUB_STRING", "x y"},
                               {":f", "HUB_FRAME", "{c inner :k 1 }"},
                               {":s", "HUB_SYMBOL", "sym"}};
  ASSERT_EQ(first->properties.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(first->properties[i].key, expected[i].key) << i;
    EXPECT_EQ(first->properties[i].type, expected[i].type) << i;
    EXPECT_EQ(first->properties[i].value, expected[i].value) << i;
  }
  EXPECT_TRUE(first->hubData.empty());
  EXPECT_EQ(first->Value(":missing"), "");
  std::optional<ReceivedFrame> second = hub_.WaitForNamed("DM", kWaitMs, 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->messageType, HUB_MESSAGE_MSG_TYPE);
  EXPECT_TRUE(hub_.WaitForCount(3, kWaitMs));
}

TEST_F(ConnectedTest, WaitsForFramesThatNeverComeFailFast) {
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [this] {
    EXPECT_FALSE(hub_.WaitForFrame(5, 100));
    EXPECT_FALSE(hub_.WaitForNamed("dialog", 100));
    EXPECT_FALSE(hub_.WaitForNamed("DM", 100, 1));  // only before `from`
    EXPECT_FALSE(hub_.WaitForCount(2, 100));
    EXPECT_FALSE(hub_.WaitForPeerClose(100));
  }));
  EXPECT_TRUE(hub_.Connected());
}

// ---- ending ----

TEST_F(ConnectedTest, ServerDisconnectMessageEndsTheConnection) {
  ASSERT_TRUE(server_.WriteEmpty(HUB_DISCONNECT_MSG_TYPE));
  EXPECT_TRUE(hub_.WaitForPeerClose(kWaitMs));
  EXPECT_FALSE(hub_.Connected());
}

TEST_F(ConnectedTest, HubDisconnectAndCloseReachTheServer) {
  EXPECT_TRUE(hub_.SendDisconnect());
  std::optional<RawMessage> end = server_.ReadMessage(kWaitMs);
  ASSERT_TRUE(end);
  EXPECT_EQ(Hex(end->bytes), "00000007 00000000");
  hub_.CloseConnection();
  EXPECT_TRUE(server_.WaitForEnd(kWaitMs));
  EXPECT_FALSE(hub_.Connected());
  EXPECT_FALSE(hub_.Send("reset_dm", {}));
}

// ---- the broker that streams data ----

// The in-broker's handshake asking for the call id, with hub data when `index` >= 0.
FramePtr BrokerHandshake(const char* callId, int32_t index) {
  FramePtr frame(MakeHubFrame(
      "handshake", {{":conn_type", 2}, {":call_id", callId}, {":protocol_version", 1}}));
  if (index >= 0) {
    Hub_SetFrameProperty(frame.get(), ":hub_opaque_data",
                         Hub_MakeFrameObject(MakeHubFrame(
                             "admin_info", {{":reply_requested", 1}, {":server_tidx", index}})));
  }
  return frame;
}

TEST(FakeBrokerTest, StreamsObjectsToTheReceiverOfItsCallId) {
  FakeBroker broker;
  int port = broker.Offer("c1", kWaitMs);
  ASSERT_GT(port, 0);
  MiniServer receiver;
  ASSERT_TRUE(receiver.Connect(port));
  ASSERT_TRUE(receiver.Write(BrokerHandshake("c1", 4).get(), HUB_MESSAGE_MSG_TYPE));
  int32_t type = -1;
  FramePtr answer = receiver.ReadFrame(kWaitMs, &type);
  ASSERT_TRUE(answer);
  EXPECT_EQ(type, HUB_REPLY_MSG_TYPE);
  EXPECT_EQ(Text(answer.get()),
            "{c handshake :hub_opaque_data {c admin_info :reply_requested 1 :server_tidx 4 } }");
  EXPECT_TRUE(broker.WaitForReceiver(kWaitMs));
  ASSERT_TRUE(broker.Handshake());
  EXPECT_EQ(broker.Handshake()->Value(":call_id"), "c1");

  struct Sent {
    std::function<bool()> send;
    const char* hex;
  };
  const Sent sent[] = {
      {[&] { return broker.SendInt16({1, -2, 3}); },
       "00000000 00000014 0000000c 00000003 00000001 fffffffe 00000003"},
      {[&] { return broker.SendString("ab"); }, "00000000 0000000c 00000002 00000002 61620000"},
      {[&] { return broker.SendEnd(); }, "00000007 00000000"},
  };
  for (const Sent& row : sent) {
    EXPECT_TRUE(row.send()) << row.hex;
    std::optional<RawMessage> message = receiver.ReadMessage(kWaitMs);
    ASSERT_TRUE(message) << row.hex;
    EXPECT_EQ(Hex(message->bytes), row.hex);
  }
  broker.Close();
  EXPECT_TRUE(receiver.WaitForEnd(kWaitMs));
}

TEST(FakeBrokerTest, RefusesAnotherCallIdAndSendsNothing) {
  FakeBroker broker;
  int port = broker.Offer("c1", kWaitMs);
  MiniServer receiver;
  ASSERT_TRUE(receiver.Connect(port));
  ASSERT_TRUE(receiver.Write(BrokerHandshake("c2", -1).get(), HUB_MESSAGE_MSG_TYPE));
  int32_t type = -1;
  FramePtr answer = receiver.ReadFrame(kWaitMs, &type);
  ASSERT_TRUE(answer);
  EXPECT_EQ(type, HUB_ERROR_MSG_TYPE);
  EXPECT_EQ(Text(answer.get()),
            "{c system_error :errno 6 :err_description \"no match for broker\" }");
  EXPECT_FALSE(broker.WaitForReceiver(kWaitMs));
  EXPECT_FALSE(broker.SendInt16({1}));
  EXPECT_FALSE(broker.SendEnd());
}

TEST(FakeBrokerTest, NoReceiverOrNoHandshakeGivesUpInTime) {
  FakeBroker broker;
  MiniServer receiver;
  EXPECT_TRUE(ReturnsWithin(kWaitMs, [&] {
    broker.Offer("c1", 200);
    EXPECT_FALSE(broker.WaitForReceiver(kNeverMs));  // nobody connects
    int port = broker.Offer("c1", 200);
    ASSERT_TRUE(receiver.Connect(port));  // connects and stays silent
    EXPECT_FALSE(broker.WaitForReceiver(kNeverMs));
    EXPECT_FALSE(broker.Handshake());
    broker.Offer("c1", kNeverMs);
    broker.Close();  // stops the wait at once
  }));
}

TEST(FakeBrokerTest, ProxyNamesTheOffer) {
  FakeBroker broker;
  int port = broker.Offer("c7", 100);
  FramePtr frame(MakeHubFrame("TakeAudio", {{":proxy", broker.Proxy(HUB_INT_16)}}));
  EXPECT_EQ(Text(frame.get()),
            "{c TakeAudio :proxy \"[non-readable frame element: broker proxy, call ID c7, host "
            "127.0.0.1, port " + std::to_string(port) + ", type HUB_INT_16]\" }");
}

}  // namespace
}  // namespace testsupport
