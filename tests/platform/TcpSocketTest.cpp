#include "platform/TcpSocket.h"

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

using platform::ListenError;
using platform::TcpConnection;
using platform::TcpListener;

namespace {

// A connected pair on 127.0.0.1: server side accepted from a fresh listener.
struct Pair {
  TcpListener listener;
  TcpConnection client;
  TcpConnection server;
  std::string peerAddress;

  Pair() {
    EXPECT_EQ(ListenError::kNone, listener.Listen(0));
    client = TcpConnection::ConnectLoopback(listener.Port());
    server = listener.Accept(&peerAddress);
  }
};

// Reads exactly size bytes, each wait bounded; stops early at end or time-out.
std::string ReadBytes(TcpConnection& connection, std::size_t size) {
  std::string bytes;
  char buffer[65536];
  while (bytes.size() < size && connection.WaitReadable(5000)) {
    long n = connection.Read(buffer, std::min(sizeof buffer, size - bytes.size()));
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

TEST(TcpSocketTest, ConnectsOnLoopbackAndCarriesExactBytes) {
  Pair pair;
  ASSERT_TRUE(pair.client.IsOpen());
  ASSERT_TRUE(pair.server.IsOpen());
  EXPECT_EQ("127.0.0.1", pair.peerAddress);
  ASSERT_TRUE(pair.client.SendAll("Begin", 6));
  EXPECT_EQ(std::string("Begin\0", 6), ReadBytes(pair.server, 6));
}

TEST(TcpSocketTest, LargeSendGoesOutWholeAndInOrder) {
  Pair pair;
  std::string data(4 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  bool sent = false;
  std::thread sender([&] { sent = pair.client.SendAll(data.data(), data.size()); });
  std::string received = ReadBytes(pair.server, data.size());
  sender.join();
  EXPECT_TRUE(sent);
  EXPECT_TRUE(received == data);
}

TEST(TcpSocketTest, PeerCloseReadsAsEndAndSendFailsWithoutSignal) {
  Pair pair;
  pair.client.Close();
  ASSERT_TRUE(pair.server.WaitReadable(5000));
  char byte;
  EXPECT_EQ(0, pair.server.Read(&byte, 1));
  // The first sends may still be accepted by the kernel; a later one fails
  // with EPIPE, which must not raise SIGPIPE and end this process.
  std::string chunk(65536, 'x');
  bool failed = false;
  for (int i = 0; i < 100 && !failed; ++i) failed = !pair.server.SendAll(chunk.data(), chunk.size());
  EXPECT_TRUE(failed);
}

TEST(TcpSocketTest, SecondLiveListenerOnThePortFailsAtBind) {
  TcpListener first;
  ASSERT_EQ(ListenError::kNone, first.Listen(0));
  TcpListener second;
  EXPECT_EQ(ListenError::kBind, second.Listen(first.Port()));
}

TEST(TcpSocketTest, PortIsReusableRightAfterAConnectionClosed) {
  int port;
  {
    Pair pair;
    port = pair.listener.Port();
    pair.server.Close();  // the server side closes first: its end lingers in TIME_WAIT
  }
  TcpListener again;
  EXPECT_EQ(ListenError::kNone, again.Listen(port));
}

}  // namespace
