#include "libhub/util/Sock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"

namespace {

std::atomic<bool> g_started{false};
const int kConnectTimeoutMs = 10000;

int SetMode(HubUtil_Socket socket, bool nonBlocking) {
  int flags = fcntl(socket, F_GETFL, 0);
  if (flags >= 0) {
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (fcntl(socket, F_SETFL, flags) == 0) return 0;
  }
  HubUtil_PrintWarning("Socket error %d", errno);
  return 1;
}

HubUtil_Socket NewStreamSocket() {
  HubUtil_Socket s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) HubUtil_PrintWarning("Failed to create socket, error: %d", errno);
  return s;
}

// The target address of a client socket: a dotted address as it is, else the
// resolved name.
bool TargetAddress(const char* host, uint32_t* address) {
  in_addr dotted;
  if (inet_pton(AF_INET, host, &dotted) == 1) {
    *address = dotted.s_addr;
    return true;
  }
  return HubUtil_ResolveHost(host, address) == 1;
}

// Connects with a time limit: true when connected.
bool ConnectWithin(HubUtil_Socket s, const sockaddr_in& target, int timeoutMs) {
  if (SetMode(s, true) != 0) return false;
  if (connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return false;
    int64_t deadline = HubUtil_MonotonicMillis() + timeoutMs;
    pollfd entry = {s, POLLOUT, 0};
    int ready;
    do {
      int64_t left = deadline - HubUtil_MonotonicMillis();
      ready = poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
  }
  return SetMode(s, false) == 0;
}

// A connection to a local port nobody listens on can meet itself (the local
// port chosen equals the target): such a socket is refused.
bool ConnectedToItself(HubUtil_Socket s, const sockaddr_in& target) {
  sockaddr_in local;
  socklen_t length = sizeof local;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) return false;
  return local.sin_addr.s_addr == target.sin_addr.s_addr && local.sin_port == target.sin_port;
}

short PollEvents(const HubUtil_SocketSet* read, const HubUtil_SocketSet* write,
                 const HubUtil_SocketSet* except, HubUtil_Socket s) {
  short events = 0;
  if (read && HubUtil_SocketSetContains(read, s)) events |= POLLIN;
  if (write && HubUtil_SocketSetContains(write, s)) events |= POLLOUT;
  if (except && HubUtil_SocketSetContains(except, s)) events |= POLLPRI;
  return events;
}

void AddPollEntries(pollfd* entries, int* count, const HubUtil_SocketSet* set,
                    const HubUtil_SocketSet* read, const HubUtil_SocketSet* write,
                    const HubUtil_SocketSet* except) {
  if (!set) return;
  for (int i = 0; i < set->count; ++i) {
    HubUtil_Socket s = set->sockets[i];
    bool seen = false;
    for (int j = 0; j < *count && !seen; ++j) seen = entries[j].fd == s;
    if (!seen) entries[(*count)++] = {s, PollEvents(read, write, except, s), 0};
  }
}

// Keeps in the set only the sockets whose poll result has one of `ready`.
int KeepReady(HubUtil_SocketSet* set, const pollfd* entries, int count, short ready) {
  if (!set) return 0;
  HubUtil_SocketSet kept;
  HubUtil_SocketSetClear(&kept);
  for (int i = 0; i < set->count; ++i) {
    for (int j = 0; j < count; ++j) {
      if (entries[j].fd == set->sockets[i] && (entries[j].revents & ready)) {
        kept.sockets[kept.count++] = set->sockets[i];
      }
    }
  }
  *set = kept;
  return kept.count;
}

}  // namespace

int HubUtil_StartSockets() {
  g_started = true;
  return 0;
}

int HubUtil_SocketsStarted() { return g_started ? 1 : 0; }

void HubUtil_FormatIPv4(uint32_t address, char* text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
  snprintf(text, HUBUTIL_IPV4_TEXT_SIZE, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
}

int HubUtil_ResolveHost(const char* host, uint32_t* address) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (!host || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return 0;
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return 1;
}

int HubUtil_LocalHostName(char* text, size_t size) {
  if (size == 0 || gethostname(text, size) != 0) return 0;
  text[size - 1] = '\0';
  return 1;
}

HubUtil_Socket HubUtil_ClientSocket(const char* host, int port) {
  HubUtil_StartSockets();
  HubUtil_Socket s = NewStreamSocket();
  if (s < 0) return -1;
  sockaddr_in target = {};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(port));
  if (!host || !TargetAddress(host, &target.sin_addr.s_addr)) {
    close(s);
    return -1;
  }
  if (port < 1 || port > 65535 || !ConnectWithin(s, target, kConnectTimeoutMs)) {
    close(s);
    HubUtil_PrintWarning("Failed to connect client socket");
    return -1;
  }
  if (ConnectedToItself(s, target)) {
    close(s);
    HubUtil_PrintWarning("Socket connected with itself");
    return -1;
  }
  return s;
}

HubUtil_Socket HubUtil_ServerSocket(int port, int backlog) {
  HubUtil_StartSockets();
  HubUtil_Socket s = NewStreamSocket();
  if (s < 0) return -1;
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  // A listen that fails is a port another socket holds, as a failed bind is.
  if (port < 0 || port > 65535 ||
      bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      listen(s, backlog) != 0) {
    close(s);
    HubUtil_PrintWarning("Failed to bind server socket");
    return -1;
  }
  return s;
}

int HubUtil_SocketPair(HubUtil_Socket sockets[2]) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sockets) == 0) return 0;
  HubUtil_PrintWarning("Socket error %d", errno);
  return -1;
}

int HubUtil_SetNonBlocking(HubUtil_Socket socket) { return SetMode(socket, true); }
int HubUtil_SetBlocking(HubUtil_Socket socket) { return SetMode(socket, false); }

int HubUtil_Accept(HubUtil_Socket listener, char* peerText, HubUtil_Socket* accepted,
                   int blocking) {
  if (SetMode(listener, !blocking) != 0) return -1;
  if (blocking) HubUtil_PrintFlush();
  for (;;) {
    sockaddr_in peer = {};
    socklen_t length = sizeof peer;
    HubUtil_Socket s = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                               blocking ? 0 : SOCK_NONBLOCK);
    if (s >= 0) {
      *accepted = s;
      HubUtil_FormatIPv4(peer.sin_addr.s_addr, peerText);
      return 1;
    }
    // A peer that gave up before it was accepted counts as nobody waiting.
    bool nobody = errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED;
    if (errno == EINTR || (nobody && blocking)) continue;
    if (nobody) return 0;
    HubUtil_PrintWarning("Socket error %d", errno);
    return -1;
  }
}

void HubUtil_SocketSetClear(HubUtil_SocketSet* set) { set->count = 0; }

int HubUtil_SocketSetContains(const HubUtil_SocketSet* set, HubUtil_Socket socket) {
  for (int i = 0; i < set->count; ++i) {
    if (set->sockets[i] == socket) return 1;
  }
  return 0;
}

int HubUtil_SocketSetAdd(HubUtil_SocketSet* set, HubUtil_Socket socket) {
  if (socket < 0) return 0;
  if (HubUtil_SocketSetContains(set, socket)) return 1;
  if (set->count >= HUBUTIL_SOCKET_SET_SIZE) return 0;
  set->sockets[set->count++] = socket;
  return 1;
}

int HubUtil_Select(HubUtil_SocketSet* read, HubUtil_SocketSet* write, HubUtil_SocketSet* except,
                   int timeoutMs, int* interrupted) {
  *interrupted = 0;
  if (timeoutMs != 0) HubUtil_PrintFlush();
  pollfd entries[3 * HUBUTIL_SOCKET_SET_SIZE];
  int count = 0;
  AddPollEntries(entries, &count, read, read, write, except);
  AddPollEntries(entries, &count, write, read, write, except);
  AddPollEntries(entries, &count, except, read, write, except);
  int ready = poll(entries, count, timeoutMs < 0 ? -1 : timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) *interrupted = 1;
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    if (entries[i].revents & POLLNVAL) {
      errno = EBADF;
      return -1;
    }
  }
  return KeepReady(read, entries, count, POLLIN | POLLHUP | POLLERR) +
         KeepReady(write, entries, count, POLLOUT | POLLHUP | POLLERR) +
         KeepReady(except, entries, count, POLLPRI | POLLERR);
}

long HubUtil_Send(HubUtil_Socket socket, const void* data, size_t length) {
  ssize_t sent;
  do {
    sent = send(socket, data, length, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent;
}

long HubUtil_Receive(HubUtil_Socket socket, void* data, size_t length) {
  ssize_t received;
  do {
    received = recv(socket, data, length, 0);
  } while (received < 0 && errno == EINTR);
  return received;
}

int HubUtil_SocketPeerClosed(HubUtil_Socket socket) {
  if (socket < 0) return 1;
  pollfd entry = {socket, POLLRDHUP, 0};
  int ready;
  do {
    ready = poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0;
}

void HubUtil_ShutdownSocket(HubUtil_Socket socket) {
  if (socket >= 0) shutdown(socket, SHUT_RDWR);
}

void HubUtil_CloseSocket(HubUtil_Socket socket) {
  if (socket >= 0) close(socket);
}

int HubUtil_SocketError() { return errno; }

int HubUtil_SocketErrorWouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

const char* HubUtil_SocketErrorText(int error) {
  thread_local char text[256];
  const char* message = strerror_r(error, text, sizeof text);
  if (message != text) snprintf(text, sizeof text, "%s", message);
  return text;
}
