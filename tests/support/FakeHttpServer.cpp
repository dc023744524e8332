#include "tests/support/FakeHttpServer.h"

#include <algorithm>
#include <utility>

namespace testsupport {

FakeHttpServer::FakeHttpServer(Kind kind, int status, std::string body)
    : kind_(kind),
      reply_("HTTP/1.0 " + std::to_string(status) + " Answer\r\nContent-Type: text/xml\r\n\r\n" +
             body),
      pieceSize_(reply_.size()) {
  listener_.Listen(0);
  thread_ = std::thread(&FakeHttpServer::Serve, this);
}

FakeHttpServer::FakeHttpServer(std::string reply, std::size_t pieceSize)
    : kind_(Kind::kAnswer),
      reply_(std::move(reply)),
      pieceSize_(std::max<std::size_t>(pieceSize, 1)) {
  listener_.Listen(0);
  thread_ = std::thread(&FakeHttpServer::Serve, this);
}

FakeHttpServer::~FakeHttpServer() {
  mutex_.lock();
  stopped_ = true;
  mutex_.unlock();
  platform::TcpConnection::ConnectLoopback(listener_.Port());  // wakes the accept
  thread_.join();
}

std::string FakeHttpServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(listener_.Port());
}

std::vector<std::string> FakeHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void FakeHttpServer::Serve() {
  while (true) {
    platform::TcpConnection connection = listener_.Accept(nullptr);
    std::string head;
    char buffer[1024];
    long count = 1;
    while (head.find("\r\n\r\n") == std::string::npos && count > 0 &&
           connection.WaitReadable(5000)) {
      count = connection.Read(buffer, sizeof buffer);
      if (count > 0) head.append(buffer, static_cast<std::size_t>(count));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    requests_.push_back(head);
    if (kind_ == Kind::kAnswer) {
      for (std::size_t sent = 0; sent < reply_.size(); sent += pieceSize_) {
        if (!connection.SendAll(reply_.data() + sent, std::min(pieceSize_, reply_.size() - sent))) {
          break;
        }
      }
    }
    if (kind_ == Kind::kStall) stalled_.push_back(std::move(connection));
  }
}

}  // namespace testsupport
