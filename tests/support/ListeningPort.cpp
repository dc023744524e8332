#include "tests/support/ListeningPort.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {
namespace {

constexpr const char kListenState[] = "0A";
constexpr const char kLoopback[] = "0100007F";  // 127.0.0.1 as /proc writes it

// The inodes of the sockets listening on the port, from /proc/net/tcp
// ("sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode").
std::vector<std::string> ListeningInodes(int port, bool loopbackOnly) {
  std::vector<std::string> inodes;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    size_t colon = local.find(':');
    if (state == kListenState && colon != std::string::npos &&
        std::stoi(local.substr(colon + 1), nullptr, 16) == port &&
        (!loopbackOnly || local.compare(0, colon, kLoopback) == 0)) {
      inodes.push_back(inode);
    }
  }
  return inodes;
}

}  // namespace

bool ProcessListens(int pid, int port, bool loopbackOnly) {
  std::vector<std::string> inodes = ListeningInodes(port, loopbackOnly);
  if (inodes.empty()) return false;
  std::error_code error;
  std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
  for (; !error && fds != std::filesystem::directory_iterator(); fds.increment(error)) {
    std::string target = std::filesystem::read_symlink(fds->path(), error).string();
    for (const std::string& inode : inodes) {
      if (!error && target == "socket:[" + inode + "]") return true;
    }
    error.clear();
  }
  return false;
}

}  // namespace testsupport
