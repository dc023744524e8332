// The socket layer over TCP on 127.0.0.1, and the platform utilities.
#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "tests/libhub/util/HubTestSupport.h"
#include "tests/support/FreePort.h"

namespace {

// ---- binary to text ----

TEST(EncodeBinaryTest, GroupsOfThreeBytesGiveFourCharacters) {
  struct Case {
    std::string bytes;
    const char* text;
  } const cases[] = {
      {"abc", "86)C"},
      {"ab", "86( "},
      {"a", "80  "},
      {"abcd", "86)C9   "},
      {std::string("\0\0\0", 3), "    "},
      {"\xff\xff\xff", "____"},
      {"\xff", "_P  "},
  };
  for (const Case& c : cases) {
    char* text = HubUtil_EncodeBinary(c.bytes.data(), static_cast<int>(c.bytes.size()));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(strlen(text), 4 * ((c.bytes.size() + 2) / 3));
    free(text);
  }
  EXPECT_EQ(HubUtil_EncodeBinary(nullptr, 3), nullptr);
  EXPECT_EQ(HubUtil_EncodeBinary("abc", 0), nullptr);
}

TEST(PlatformUtilTest, TimeOfDayHasMillisecondPrecisionAndDoesNotGoBack) {
  long seconds1 = 0, micros1 = 0, seconds2 = 0, micros2 = 0;
  EXPECT_EQ(HubUtil_TimeOfDay(&seconds1, &micros1), 0);
  HubUtil_SleepSeconds(0);
  EXPECT_EQ(HubUtil_TimeOfDay(&seconds2, &micros2), 0);
  EXPECT_EQ(micros1 % 1000, 0);
  EXPECT_LT(micros1, 1000000);
  EXPECT_GE(seconds2 * 1000000 + micros2, seconds1 * 1000000 + micros1);
}

TEST(SockTest, FormatIPv4) {
  struct Case {
    uint32_t hostOrder;
    const char* text;
  } const cases[] = {
      {0x7f000001, "127.0.0.1"}, {0xc0a80a01, "192.168.10.1"}, {0xffffffff, "255.255.255.255"},
      {0, "0.0.0.0"}};
  for (const Case& c : cases) {
    char text[HUBUTIL_IPV4_TEXT_SIZE];
    HubUtil_FormatIPv4(htonl(c.hostOrder), text);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(SockTest, ResolvesLocalhostAndRefusesUnknownNames) {
  uint32_t address = 0;
  ASSERT_EQ(HubUtil_ResolveHost("localhost", &address), 1);
  EXPECT_EQ(address, htonl(0x7f000001));
  EXPECT_EQ(HubUtil_ResolveHost("no-such-host.invalid", &address), 0);
  char name[256];
  EXPECT_EQ(HubUtil_LocalHostName(name, sizeof name), 1);
  EXPECT_GT(strlen(name), 0u);
}

// A listener on a free port and a client connected to it, accepted.
class ConnectedPair : public ::testing::Test {
 protected:
  void SetUp() override {
    HubUtil_SetVerbosity(3);
    port_ = testsupport::FreePort();
    listener_ = HubUtil_ServerSocket(port_, 5);
    ASSERT_GE(listener_, 0);
    client_ = HubUtil_ClientSocket("127.0.0.1", port_);
    ASSERT_GE(client_, 0);
    char peer[HUBUTIL_IPV4_TEXT_SIZE] = "";
    ASSERT_EQ(HubUtil_Accept(listener_, peer, &server_, 1), 1);
    EXPECT_STREQ(peer, "127.0.0.1");
  }
  void TearDown() override {
    HubUtil_CloseSocket(client_);
    HubUtil_CloseSocket(server_);
    HubUtil_CloseSocket(listener_);
  }

  int port_ = 0;
  HubUtil_Socket listener_ = -1, client_ = -1, server_ = -1;
};

TEST_F(ConnectedPair, BytesTravelExactly) {
  EXPECT_EQ(HubUtil_SocketsStarted(), 1);
  const char message[] = "hub\0data";
  ASSERT_EQ(HubUtil_Send(client_, message, sizeof message), static_cast<long>(sizeof message));
  char received[32] = {};
  long total = 0;
  while (total < static_cast<long>(sizeof message)) {
    long got = HubUtil_Receive(server_, received + total, sizeof received - total);
    ASSERT_GT(got, 0);
    total += got;
  }
  EXPECT_EQ(std::string(received, total), std::string(message, sizeof message));
}

TEST_F(ConnectedPair, SelectReportsReadableWritableAndTimeOut) {
  hubtest::Watchdog watchdog(20000);
  HubUtil_SocketSet read, write;
  HubUtil_SocketSetClear(&read);
  HubUtil_SocketSetAdd(&read, server_);
  int interrupted = 5;
  EXPECT_EQ(HubUtil_Select(&read, nullptr, nullptr, 30, &interrupted), 0);
  EXPECT_EQ(interrupted, 0);
  EXPECT_EQ(read.count, 0);

  HubUtil_Send(client_, "x", 1);
  HubUtil_SocketSetClear(&read);
  HubUtil_SocketSetAdd(&read, server_);
  HubUtil_SocketSetAdd(&read, client_);
  HubUtil_SocketSetClear(&write);
  HubUtil_SocketSetAdd(&write, client_);
  EXPECT_EQ(HubUtil_Select(&read, &write, nullptr, 5000, &interrupted), 2);
  EXPECT_EQ(read.count, 1);
  EXPECT_EQ(HubUtil_SocketSetContains(&read, server_), 1);
  EXPECT_EQ(HubUtil_SocketSetContains(&write, client_), 1);
}

TEST_F(ConnectedPair, ClosedPeerReadsAsEndAndNonBlockingReadWouldBlock) {
  hubtest::Watchdog watchdog(20000);
  char byte;
  ASSERT_EQ(HubUtil_SetNonBlocking(server_), 0);
  EXPECT_EQ(HubUtil_Receive(server_, &byte, 1), -1);
  EXPECT_EQ(HubUtil_SocketErrorWouldBlock(HubUtil_SocketError()), 1);
  ASSERT_EQ(HubUtil_SetBlocking(server_), 0);
  HubUtil_ShutdownSocket(client_);
  HubUtil_SocketSet read;
  HubUtil_SocketSetClear(&read);
  HubUtil_SocketSetAdd(&read, server_);
  int interrupted = 0;
  EXPECT_EQ(HubUtil_Select(&read, nullptr, nullptr, 5000, &interrupted), 1);
  EXPECT_EQ(HubUtil_Receive(server_, &byte, 1), 0);
}

TEST_F(ConnectedPair, WritingToAClosedPeerDoesNotEndTheProcess) {
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_DFL);
        HubUtil_CloseSocket(server_);
        char block[4096] = {};
        long result = 0;
        for (int i = 0; i < 100 && result >= 0; ++i) {
          result = HubUtil_Send(client_, block, sizeof block);
        }
        exit(result < 0 && HubUtil_SocketError() == HUBUTIL_PEER_CLOSED_ERROR ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(ConnectedPair, NonBlockingAcceptWithNobodyWaitingGivesZeroQuietly) {
  HubUtil_Socket accepted = -1;
  char peer[HUBUTIL_IPV4_TEXT_SIZE] = "";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(HubUtil_Accept(listener_, peer, &accepted, 0), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(accepted, -1);
}

TEST_F(ConnectedPair, NonBlockingAcceptGivesANonBlockingSocket) {
  hubtest::Watchdog watchdog(20000);
  HubUtil_Socket second = HubUtil_ClientSocket("127.0.0.1", port_);
  ASSERT_GE(second, 0);
  HubUtil_Socket accepted = -1;
  char peer[HUBUTIL_IPV4_TEXT_SIZE] = "";
  int result = 0;
  ASSERT_TRUE(hubtest::WaitUntil(
      [&] { return (result = HubUtil_Accept(listener_, peer, &accepted, 0)) != 0; }));
  EXPECT_EQ(result, 1);
  char byte;
  EXPECT_EQ(HubUtil_Receive(accepted, &byte, 1), -1);
  EXPECT_EQ(HubUtil_SocketErrorWouldBlock(HubUtil_SocketError()), 1);
  HubUtil_CloseSocket(accepted);
  HubUtil_CloseSocket(second);
}

TEST(SockFailureTest, FailuresWarnWithTheirTexts) {
  HubUtil_SetVerbosity(3);
  int port = testsupport::FreePort();
  HubUtil_Socket listener = HubUtil_ServerSocket(port, 5);
  ASSERT_GE(listener, 0);
  struct Case {
    const char* name;
    HubUtil_Socket (*run)(int port);
    const char* warning;
  } const cases[] = {
      {"busy port", [](int p) { return HubUtil_ServerSocket(p, 5); },
       "  (WARNING: Failed to bind server socket)\n"},
      {"port out of range", [](int) { return HubUtil_ServerSocket(70000, 5); },
       "  (WARNING: Failed to bind server socket)\n"},
      {"nobody listening",
       [](int) { return HubUtil_ClientSocket("127.0.0.1", testsupport::FreePort()); },
       "  (WARNING: Failed to connect client socket)\n"},
      {"unknown name", [](int p) { return HubUtil_ClientSocket("no-such-host.invalid", p); }, ""},
      {"client port 0", [](int) { return HubUtil_ClientSocket("127.0.0.1", 0); },
       "  (WARNING: Failed to connect client socket)\n"},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(c.run(port), -1) << c.name;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.warning) << c.name;
  }
  HubUtil_CloseSocket(listener);
}

TEST(SockFailureTest, BadDescriptorsFail) {
  HubUtil_SetVerbosity(3);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(HubUtil_SetNonBlocking(-1), 1);
  std::string warning = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(warning, "  (WARNING: Socket error 9)\n");
  HubUtil_SocketSet read;
  HubUtil_SocketSetClear(&read);
  read.sockets[read.count++] = 100000;  // not open
  int interrupted = 0;
  EXPECT_EQ(HubUtil_Select(&read, nullptr, nullptr, 10, &interrupted), -1);
  EXPECT_EQ(interrupted, 0);
}

TEST(SocketSetTest, HoldsUpToSixtyFourDistinctSockets) {
  HubUtil_SocketSet set;
  HubUtil_SocketSetClear(&set);
  EXPECT_EQ(HubUtil_SocketSetAdd(&set, -1), 0);
  for (int s = 0; s < HUBUTIL_SOCKET_SET_SIZE; ++s) EXPECT_EQ(HubUtil_SocketSetAdd(&set, s), 1);
  EXPECT_EQ(HubUtil_SocketSetAdd(&set, 3), 1);  // already there
  EXPECT_EQ(HubUtil_SocketSetAdd(&set, 1000), 0);
  EXPECT_EQ(set.count, HUBUTIL_SOCKET_SET_SIZE);
  EXPECT_EQ(HubUtil_SocketSetContains(&set, 1000), 0);
}

}  // namespace
