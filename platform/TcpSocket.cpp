#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {
namespace {

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

sockaddr_in Ipv4Address(in_addr_t address, int port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = htonl(address);
  result.sin_port = htons(static_cast<uint16_t>(port));
  return result;
}

}  // namespace

TcpConnection::~TcpConnection() { Close(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TcpConnection TcpConnection::ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return TcpConnection();
  sockaddr_in address = Ipv4Address(INADDR_LOOPBACK, port);
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    CloseFd(fd);
    return TcpConnection();
  }
  return TcpConnection(fd);
}

bool TcpConnection::SendAll(const char* data, std::size_t size) {
  if (fd_ < 0) return false;
  std::size_t sent = 0;
  while (sent < size) {
    ssize_t n = send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

long TcpConnection::Read(char* buffer, std::size_t size) {
  if (fd_ < 0) return -1;
  while (true) {
    ssize_t n = recv(fd_, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool TcpConnection::WaitReadable(int timeoutMs) {
  if (fd_ < 0) return false;
  pollfd entry{fd_, POLLIN, 0};
  while (true) {
    int ready = poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0 && errno == EINTR) continue;  // a signal restarts the whole wait
    return ready > 0;
  }
}

void TcpConnection::Close() { CloseFd(fd_); }

TcpListener::~TcpListener() { CloseFd(fd_); }

ListenError TcpListener::Listen(int port) {
  CloseFd(fd_);
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd_ < 0) return ListenError::kSocket;
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = Ipv4Address(INADDR_ANY, port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    CloseFd(fd_);
    return ListenError::kBind;
  }
  if (listen(fd_, 10) != 0) {
    CloseFd(fd_);
    return ListenError::kListen;
  }
  return ListenError::kNone;
}

int TcpListener::Port() const {
  if (fd_ < 0) return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

TcpConnection TcpListener::Accept(std::string* peerAddress) {
  if (fd_ < 0) return TcpConnection();
  sockaddr_in address{};
  socklen_t length = sizeof address;
  int fd;
  do {
    length = sizeof address;
    fd = accept4(fd_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return TcpConnection();
  if (peerAddress) {
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    *peerAddress = text;
  }
  return TcpConnection(fd);
}

}  // namespace platform
