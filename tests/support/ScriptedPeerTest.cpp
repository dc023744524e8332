#include "tests/support/ScriptedPeer.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedPeerLink.h"
#include "tests/support/TempDir.h"

using testsupport::PeerAction;
using testsupport::PeerAnswers;
using testsupport::PeerScript;
using testsupport::ScriptedPeer;

namespace {

// The server's side for the peer's tests: in a thread it accepts one
// connection, reads the peer's first message, then sends each message in turn
// and reads the reply to each one that gets one. Every wait is bounded.
class FakeServer {
 public:
  explicit FakeServer(std::vector<std::string> messages) {
    EXPECT_EQ(platform::ListenError::kNone, listener_.Listen(0));
    thread_ = std::thread([this, messages] { Serve(messages); });
  }
  ~FakeServer() { Join(); }

  int Port() const { return listener_.Port(); }
  // Waits for the thread; a peer that never connected is stood in for.
  void Join() {
    if (!thread_.joinable()) return;
    if (!accepted_) platform::TcpConnection::ConnectLoopback(Port());
    thread_.join();
  }
  const std::vector<std::string>& Received() const { return received_; }
  const std::string& RawBytes() const { return raw_; }
  bool PeerClosed() const { return peerClosed_; }

 private:
  void Serve(const std::vector<std::string>& messages) {
    platform::TcpConnection peer = listener_.Accept(nullptr);
    accepted_ = true;
    platform::MessageReader reader(
        [&](char* buffer, std::size_t size) -> long {
          if (!peer.WaitReadable(5000)) return -1;
          long n = peer.Read(buffer, size);
          if (n > 0) raw_.append(buffer, static_cast<std::size_t>(n));
          return n;
        },
        1 << 20);
    auto readOne = [&] {
      std::string message;
      platform::MessageReader::Result result = reader.Next(&message);
      if (result == platform::MessageReader::Result::kMessage) received_.push_back(message);
      peerClosed_ = result == platform::MessageReader::Result::kClosed;
      return result == platform::MessageReader::Result::kMessage;
    };
    if (!readOne() || messages.empty()) return;
    for (const std::string& message : messages) {
      if (!peer.SendAll(message.c_str(), message.size() + 1)) return;
      if (message == "Koniec dialogu" || message == "dataquery") continue;
      if (!readOne()) return;
    }
    if (messages.back() == "Koniec dialogu") readOne();  // the peer closes now
  }

  platform::TcpListener listener_;
  std::thread thread_;
  bool accepted_ = false;
  std::vector<std::string> received_;
  std::string raw_;
  bool peerClosed_ = false;
};

TEST(PeerScriptTest, ParsesEveryDirective) {
  PeerScript script = PeerScript::Parse(
      "# comment\r\n\nsend Begin\r\nwait 20\nsend\nreply ask: => \\t:utt \\xE1no\\t:conf 0.9\n"
      "hangup GetDTMFch:\ndefault NOK\nclose\n");
  ASSERT_EQ(4u, script.steps.size());
  EXPECT_EQ("Begin", script.steps[0].text);
  EXPECT_EQ(20, script.steps[1].milliseconds);
  EXPECT_EQ("", script.steps[2].text);
  EXPECT_EQ(testsupport::PeerStep::Kind::kClose, script.steps[3].kind);
  ASSERT_EQ(2u, script.rules.size());
  EXPECT_EQ("ask:", script.rules[0].prefix);
  EXPECT_EQ("\t:utt \xE1no\t:conf 0.9", script.rules[0].reply.value());  // "\t:utt áno..."
  EXPECT_FALSE(script.rules[1].reply.has_value());
  EXPECT_EQ("NOK", script.defaultReply);
}

TEST(PeerScriptTest, BadLinesNameTheirLineNumber) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"send Begin\nsned End", "line 2: unknown directive \"sned\""},
      {"reply ask: :utt x", "line 1: reply needs \" => \""},
      {"wait soon", "line 1: wait needs milliseconds"},
      {"\n\nsend a\\qb", "line 3: bad escape in \"a\\qb\""},
      {"send \\x4", "line 1: \\x needs two hex digits"},
      {"close now", "line 1: unknown directive \"close\""},
  };
  for (const auto& [text, message] : cases) {
    try {
      PeerScript::Parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(message, error.what()) << text;
    }
  }
}

TEST(PeerScriptTest, EscapeShowsWhatUnescapeReads) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"\t:utt a\n", "\\t:utt a\\n"},
      {"back\\slash\r", "back\\\\slash\\r"},
      {std::string("\x01\x7f", 2), "\\x01\\x7F"},
      {"\xE1", "\xE1"},  // Windows-1250 letters stay as they are
  };
  for (const auto& [bytes, shown] : cases) {
    EXPECT_EQ(shown, testsupport::Escape(bytes));
    EXPECT_EQ(bytes, testsupport::Unescape(shown));
  }
}

TEST(PeerAnswersTest, RulesAnswerOnceInFileOrderThenTheDefault) {
  PeerAnswers answers(PeerScript::Parse(
      "reply ask: => first\nreply ask: => second\nhangup GetDTMFch:\nreply dataquery => result"));
  struct Step {
    std::string message;
    PeerAction::Kind kind;
    std::string reply;
  };
  const std::vector<Step> steps = {
      {"NewGroup\tmain", PeerAction::Kind::kReply, "OK"},
      {"ask:", PeerAction::Kind::kReply, "first"},
      {"Synt\thello\t1\t5", PeerAction::Kind::kReply, "OK"},
      {"ask:\t:x", PeerAction::Kind::kReply, "second"},
      {"ask:", PeerAction::Kind::kReply, "OK"},
      {"dataquery", PeerAction::Kind::kWait, ""},
      {"{\nact query\ncontent x\n}\n", PeerAction::Kind::kReply, "result"},
      {"GetDTMFch:", PeerAction::Kind::kHangUp, ""},
      {"Koniec dialogu", PeerAction::Kind::kEnd, ""},
  };
  for (const Step& step : steps) {
    PeerAction action = answers.OnMessage(step.message);
    EXPECT_EQ(step.kind, action.kind) << step.message;
    EXPECT_EQ(step.reply, action.reply) << step.message;
  }
}

TEST(PeerAnswersTest, FallbackAnswersWhatNoRuleTakes) {
  PeerAnswers answers(PeerScript::Parse("reply ask: => scripted"));
  answers.SetFallback([](const std::string& request) -> std::optional<std::string> {
    if (request == "LoadGroup") return std::nullopt;
    return "person: " + request;
  });
  EXPECT_EQ("scripted", answers.OnMessage("ask:").reply);
  EXPECT_EQ("person: ask:", answers.OnMessage("ask:").reply);
  EXPECT_EQ("OK", answers.OnMessage("LoadGroup").reply);
}

TEST(ScriptedPeerTest, PlaysADialogueAgainstAServer) {
  FakeServer server({"NewGroup\tg", "ask:", "dataquery", "{query}", "Koniec dialogu"});
  {
    ScriptedPeer peer(PeerScript::Parse(
        "send Begin\nreply ask: => \\t:utt ano\\t:conf 0.9\nreply dataquery => found"));
    ASSERT_TRUE(peer.Connect(server.Port(), 5000));
    EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, peer.Run(5000));
    EXPECT_EQ((std::vector<std::string>{"NewGroup\tg", "ask:", "dataquery", "{query}",
                                        "Koniec dialogu"}),
              peer.Received());
    EXPECT_EQ((std::vector<std::string>{"Begin", "OK", "\t:utt ano\t:conf 0.9", "found"}),
              peer.Sent());
  }
  server.Join();
  EXPECT_EQ(std::string("Begin\0OK\0\t:utt ano\t:conf 0.9\0found\0", 35), server.RawBytes());
  EXPECT_TRUE(server.PeerClosed());
}

TEST(ScriptedPeerTest, HangupRuleClosesTheLink) {
  FakeServer server({"LoadGroup", "ask:"});
  {
    ScriptedPeer peer(PeerScript::Parse("send Begin\nhangup ask:"));
    ASSERT_TRUE(peer.Connect(server.Port(), 5000));
    EXPECT_EQ(ScriptedPeer::Outcome::kHungUp, peer.Run(5000));
  }
  server.Join();
  EXPECT_EQ((std::vector<std::string>{"Begin", "OK"}), server.Received());
  EXPECT_TRUE(server.PeerClosed());
}

TEST(ScriptedPeerTest, ServerClosingFirstIsReported) {
  FakeServer server({});
  ScriptedPeer peer(PeerScript::Parse("send Begin"));
  ASSERT_TRUE(peer.Connect(server.Port(), 5000));
  EXPECT_EQ(ScriptedPeer::Outcome::kServerClosed, peer.Run(5000));
}

TEST(ScriptedPeerTest, SilentServerTimesOut) {
  platform::TcpListener silent;  // connections wait in its backlog, never served
  ASSERT_EQ(platform::ListenError::kNone, silent.Listen(0));
  ScriptedPeer peer(PeerScript::Parse("send Begin"));
  ASSERT_TRUE(peer.Connect(silent.Port(), 5000));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ScriptedPeer::Outcome::kTimedOut, peer.Run(100));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(ScriptedPeerLinkTest, ServesTheServerInProcess) {
  testsupport::ScriptedPeerLink link(
      PeerScript::Parse("send End\nsend Begin\nreply ask: => yes\nhangup ask:"));
  EXPECT_EQ("End", link.Receive());
  EXPECT_EQ("Begin", link.Receive());
  link.Send("LoadGroup");
  EXPECT_EQ("OK", link.Receive());
  EXPECT_TRUE(link.TrySend("ask:"));
  EXPECT_EQ("yes", link.Receive());
  link.Send("ask:");
  EXPECT_FALSE(link.Closed());
  EXPECT_EQ("End", link.Receive());
  EXPECT_TRUE(link.Closed());
  EXPECT_FALSE(link.TrySend("Koniec dialogu"));
  EXPECT_EQ((std::vector<std::string>{"LoadGroup", "ask:", "ask:"}), link.Sent());
}

TEST(ScriptedPeerLinkTest, FailedSendsAndCloseStep) {
  testsupport::ScriptedPeerLink link(PeerScript::Parse("send Begin\nclose\nsend never"));
  EXPECT_EQ("Begin", link.Receive());
  link.FailSends();
  EXPECT_FALSE(link.TrySend("ask:"));
  EXPECT_EXIT(link.Send("ask:"), ::testing::ExitedWithCode(0), "^Problem s odeslanim dat\n$");
  EXPECT_EQ("End", link.Receive());
  EXPECT_TRUE(link.Closed());
}

// The command-line front, run as a process.
class ScriptedPeerProgramTest : public testsupport::TempDirTest {
 protected:
  static testsupport::ChildResult RunPeer(std::vector<std::string> args,
                                          const std::string& input = "") {
    args.insert(args.begin(), testsupport::BinPath("scripted_peer"));
    return testsupport::RunChild(args, input, 15000);
  }
};

TEST_F(ScriptedPeerProgramTest, PlaysAScriptFileAndShowsTheTraffic) {
  testsupport::WriteFile("dialogue.txt", "# one question\nsend Begin\nreply ask: => :utt a\\tb\n");
  FakeServer server({"ask:", "Synt\tx", "Koniec dialogu"});
  testsupport::ChildResult result = RunPeer(
      {"-port", std::to_string(server.Port()), "-script", "dialogue.txt", "-timeout", "5"});
  server.Join();
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(">> Begin\n<< ask:\n>> :utt a\\tb\n<< Synt\\tx\n>> OK\n<< Koniec dialogu\n",
            result.out);
  EXPECT_EQ((std::vector<std::string>{"Begin", ":utt a\tb", "OK"}), server.Received());
}

TEST_F(ScriptedPeerProgramTest, InteractiveRepliesComeFromThePerson) {
  FakeServer server({"ask:", "LoadGroup", "ask:"});
  testsupport::ChildResult result = RunPeer(
      {"-port", std::to_string(server.Port()), "-interactive", "-timeout", "5"},
      "\\t:utt ano\\t:conf 0.9\n\n");  // then end of input: "End"
  server.Join();
  EXPECT_EQ(1, result.status);  // the fake server closes instead of ending the dialogue
  EXPECT_EQ((std::vector<std::string>{"Begin", "\t:utt ano\t:conf 0.9", "OK", "End"}),
            server.Received());
  EXPECT_NE(std::string::npos, result.out.find("<< ask:\nreply> >> \\t:utt ano\\t:conf 0.9\n"));
}

TEST_F(ScriptedPeerProgramTest, BadUseIsRefused) {
  testsupport::WriteFile("bad.txt", "send Begin\nbogus\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{}, 2, "Usage: scripted_peer -port PORT [-script FILE] [-interactive] [-timeout SECONDS]\n"},
      {{"-port", "70000"}, 2, "Usage: scripted_peer -port PORT [-script FILE] [-interactive] "
                              "[-timeout SECONDS]\n"},
      // A number the wait cannot hold, or no number, must not mean "no limit".
      {{"-port", "1", "-timeout", "3000000"}, 2, "Usage: scripted_peer -port PORT [-script FILE] "
                                                 "[-interactive] [-timeout SECONDS]\n"},
      {{"-port", "1", "-timeout", "5s"}, 2, "Usage: scripted_peer -port PORT [-script FILE] "
                                            "[-interactive] [-timeout SECONDS]\n"},
      {{"-port", "1", "-script", "bad.txt"}, 2,
       "scripted_peer: line 2: unknown directive \"bogus\"\n"},
      {{"-port", "1", "-script", "missing.txt"}, 2, "scripted_peer: cannot read missing.txt\n"},
      {{"-port", "1", "-timeout", "1"}, 1, "scripted_peer: cannot connect to port 1\n"},
  };
  for (const Case& c : cases) {
    testsupport::ChildResult result = RunPeer(c.args);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(c.status, result.status) << c.err;
    EXPECT_EQ(c.err, result.err);
  }
}

}  // namespace
