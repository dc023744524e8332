#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
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

// The first IPv4 address of the host; false when it does not resolve.
bool Resolve(const std::string& host, sockaddr_in* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  return true;
}

// Waits at most timeoutMs for the events on the descriptor; EINTR restarts the wait.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  while (true) {
    int ready = poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

// Finishes a non-blocking connect within the time-out; the descriptor is
// blocking again afterwards.
bool CompleteConnect(int fd, const sockaddr_in& address, int timeoutMs) {
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return false;
    int failure = 0;
    socklen_t length = sizeof failure;
    if (!WaitFor(fd, POLLOUT, timeoutMs) ||
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0) {
      return false;
    }
  }
  return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}

}  // namespace

int ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  const int port = std::stoi(text);
  return port <= 65535 ? port : 0;
}

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

TcpConnection TcpConnection::Connect(const std::string& host, int port, int timeoutMs,
                                     ConnectError* error) {
  *error = ConnectError::kUnreached;
  sockaddr_in address{};
  if (!Resolve(host, &address)) return TcpConnection();
  address.sin_port = htons(static_cast<uint16_t>(port));
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) {
    *error = ConnectError::kSocket;
    return TcpConnection();
  }
  if (!CompleteConnect(fd, address, timeoutMs)) {
    CloseFd(fd);
    return TcpConnection();
  }
  *error = ConnectError::kNone;
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

bool TcpConnection::SetSendTimeout(int milliseconds) {
  timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return fd_ >= 0 && setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
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
  return fd_ >= 0 && WaitFor(fd_, POLLIN, timeoutMs);
}

void TcpConnection::Close() { CloseFd(fd_); }

TcpListener::~TcpListener() { CloseFd(fd_); }

ListenError TcpListener::Listen(int port) {
  CloseFd(fd_);
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd_ < 0) return ListenError::kSocket;
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = Ipv4Address(INADDR_LOOPBACK, port);
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
