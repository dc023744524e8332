// A fake HTTP server on a loopback port that serves every connection alike:
// it records the request's head (up to its blank line), then answers with a
// status and a body, closes without answering, or stalls until destroyed.
// An answer may also be given whole, header included, and sent in pieces of
// a chosen size.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TcpSocket.h"

namespace testsupport {

class FakeHttpServer {
 public:
  enum class Kind { kAnswer, kClose, kStall };

  explicit FakeHttpServer(Kind kind, int status = 200, std::string body = "");
  // Answers with exactly these bytes, one send of at most pieceSize bytes
  // (at least 1) after the other.
  FakeHttpServer(std::string reply, std::size_t pieceSize);
  ~FakeHttpServer();  // closes the stalled connections

  std::string Url() const;  // "http://127.0.0.1:<port>"
  // The heads recorded so far: a head is recorded before its answer.
  std::vector<std::string> Requests();

 private:
  void Serve();

  const Kind kind_;
  const std::string reply_;
  const std::size_t pieceSize_;
  platform::TcpListener listener_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<platform::TcpConnection> stalled_;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace testsupport
