#include "interpreter/server/PeerSocket.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/TcpSocket.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FreePort.h"
#include "tests/support/TempDir.h"

using platform::TcpConnection;
using testsupport::ReadFile;

namespace {

// Ends the test program when the guarded steps take longer than the limit,
// so a blocking call that should have returned fails fast.
class Watchdog {
 public:
  explicit Watchdog(int limitMs)
      : thread_([this, limitMs] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_changed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                                      [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: a step hung\n");
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;
};

const char kLog[] = "Quorvane/socket_log.txt";

class PeerSocketTest : public testsupport::TempDirTest {
 protected:
  PeerSocketTest() {
    mkdir("Quorvane", 0755);
    socket_ = std::make_unique<PeerSocket>();
  }

  // Makes the socket accept a client on a free port; returns what it printed.
  std::string Connect() {
    Watchdog guard(10000);
    int port = testsupport::FreePort();
    testsupport::CaptureStdout capture;
    std::thread server([&] { socket_->ListenAndAccept(port); });
    while (!client_.IsOpen()) {
      client_ = TcpConnection::ConnectLoopback(port);
      if (!client_.IsOpen()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server.join();
    return capture.Take();
  }

  void ClientSends(const std::string& bytes) { ASSERT_TRUE(client_.SendAll(bytes.data(), bytes.size())); }

  std::string ClientReads(std::size_t size) {
    std::string bytes;
    char buffer[4096];
    while (bytes.size() < size && client_.WaitReadable(5000)) {
      long n = client_.Read(buffer, std::min(sizeof buffer, size - bytes.size()));
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  }

  std::unique_ptr<PeerSocket> socket_;
  TcpConnection client_;
};

TEST_F(PeerSocketTest, NewLogHoldsItsFirstLineOnly) {
  EXPECT_EQ("Socket log file for Quorvane\n", ReadFile(kLog));
  testsupport::WriteFile(kLog, "old");
  socket_ = std::make_unique<PeerSocket>();
  EXPECT_EQ("Socket log file for Quorvane\n", ReadFile(kLog));
}

TEST_F(PeerSocketTest, AcceptPrintsThePeerAndLogsTheConnection) {
  EXPECT_EQ("Pripojenie z adresy: 127.0.0.1\n", Connect());
  EXPECT_EQ("Socket log file for Quorvane\nOpen Connection OK\n", ReadFile(kLog));
}

TEST_F(PeerSocketTest, SendPutsTheTextAndOneNulOnTheWire) {
  Connect();
  socket_->Send("Begin");
  socket_->Send("a\tb");
  EXPECT_TRUE(socket_->TrySend(std::string("cut\0here", 8)));
  EXPECT_EQ(std::string("Begin\0a\tb\0cut\0", 14), ClientReads(14));
  EXPECT_FALSE(client_.WaitReadable(50));
  EXPECT_EQ("Socket log file for Quorvane\nOpen Connection OK\nSend> Begin\nSend> a\tb\nSend> cut\n",
            ReadFile(kLog));
}

TEST_F(PeerSocketTest, ReceiveTakesOneMessageEachTimeAndLogsIt) {
  Connect();
  Watchdog guard(10000);
  ClientSends(std::string("OK\0Beg", 6));
  EXPECT_EQ("OK", socket_->Receive());
  ClientSends(std::string("in\0", 3));
  EXPECT_EQ("Begin", socket_->Receive());
  // The longest message is 9998 characters and its NUL; a longer one is cut.
  const std::string longest(9998, 'q');
  const std::string cut(9998, 'r');
  ClientSends(longest + '\0' + cut + "rr" + '\0' + "End" + '\0');
  EXPECT_EQ(longest, socket_->Receive());
  EXPECT_EQ(cut, socket_->Receive());
  EXPECT_EQ("End", socket_->Receive());
  EXPECT_FALSE(socket_->Closed());
  EXPECT_EQ("Socket log file for Quorvane\nOpen Connection OK\nReceive> OK\nReceive> Begin\n"
            "Receive> " + longest + "\nReceive> " + cut +
                "\nReceived message of 10000 characters cut to 9998, the most one message holds\n"
                "Receive> End\n",
            ReadFile(kLog));
}

TEST_F(PeerSocketTest, ClosedPeerReadsAsEndWithoutBlocking) {
  Connect();
  Watchdog guard(5000);
  client_.Close();
  for (int i = 0; i < 3; ++i) EXPECT_EQ("End", socket_->Receive());
  EXPECT_TRUE(socket_->Closed());
  EXPECT_EQ("Socket log file for Quorvane\nOpen Connection OK\n", ReadFile(kLog));
}

TEST_F(PeerSocketTest, SendToAVanishedPeerEndsTheProcessWithStatusZero) {
  Connect();
  client_.Close();
  EXPECT_EXIT(
      {
        for (int i = 0; i < 100000; ++i) socket_->Send(std::string(4096, 'x'));
        std::exit(7);
      },
      ::testing::ExitedWithCode(0), "^Problem s odeslanim dat\n$");
}

TEST_F(PeerSocketTest, BusyPortEndsTheProcessWithStatusZero) {
  platform::TcpListener holder;
  ASSERT_EQ(platform::ListenError::kNone, holder.Listen(0));
  EXPECT_EXIT(socket_->ListenAndAccept(holder.Port()), ::testing::ExitedWithCode(0),
              "^Problem s pojmenovanim soketu.\n$");
}

TEST(BannerTest, NamesTheServerAndItsVersion) {
  testsupport::CaptureStdout capture;
  PrintBanner();
  std::string banner = capture.Take();
  EXPECT_EQ(0u, banner.find("\nDIALOG MANAGER Talmiro 2.15\n"));
  EXPECT_EQ(5, std::count(banner.begin(), banner.end(), '\n'));
}

}  // namespace
