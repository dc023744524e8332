#include "tests/support/FreePort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

// The ports the kernel hands out for port 0 and for outgoing connections;
// a port taken from below them is never given to anyone else by the kernel.
std::pair<int, int> EphemeralRange() {
  std::ifstream file("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 32768;
  int high = 60999;
  file >> low >> high;
  return {low, high};
}

bool CanBind(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return bound;
}

// Other test processes skip a port while this one lives: it holds a lock on
// the port's file for the rest of its life (released by the kernel at exit).
bool Reserve(int port) {
  const std::string path = "/tmp/quorvane-test-port-" + std::to_string(port);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  close(fd);
  return false;
}

}  // namespace

int FreePort() {
  static std::mt19937 random(std::random_device{}());
  const auto [low, high] = EphemeralRange();
  // Below the ephemeral range when there is room, else above it.
  const bool below = low > 12000;
  std::uniform_int_distribution<int> pick(below ? 10000 : high + 1, below ? low - 1 : 65535);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int port = pick(random);
    if (Reserve(port) && CanBind(port)) return port;
  }
  throw std::runtime_error("cannot find a free port");
}

}  // namespace testsupport
