#include "tests/libhub/io/IoTestSupport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace hubtest {

const char* const kHandshakeHex =
    "00000001 00000002 00000009 68616e64 7368616b 65000000 00000001 0000000a 3a636f6e 6e5f7479 "
    "70650000 00000003 00000001 00000000";

std::string Hex(const char* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && i % 4 == 0) text += ' ';
    char digits[3];
    snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
    text += digits;
  }
  return text;
}

std::string Hex(const std::string& bytes) { return Hex(bytes.data(), bytes.size()); }

std::string Unhex(const std::string& hex) {
  std::string bytes;
  std::string digits;
  for (char c : hex) {
    if (c == ' ') continue;
    digits += c;
    if (digits.size() == 2) {
      bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
      digits.clear();
    }
  }
  return bytes;
}

SocketPair::SocketPair() {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) {
    ADD_FAILURE() << "socketpair failed";
    sockets[0] = sockets[1] = -1;
  }
}

SocketPair::~SocketPair() {
  Close(0);
  Close(1);
}

void SocketPair::Write(int index, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = send(sockets[index], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) {
      ADD_FAILURE() << "send failed";
      return;
    }
    done += static_cast<size_t>(sent);
  }
}

std::string SocketPair::Read(int index, size_t count, int timeoutMs) {
  std::string bytes;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{sockets[index], POLLIN, 0};
    if (poll(&ready, 1, 10) <= 0) continue;
    char chunk[65536];
    size_t wanted = count - bytes.size() < sizeof chunk ? count - bytes.size() : sizeof chunk;
    ssize_t got = recv(sockets[index], chunk, wanted, MSG_DONTWAIT);
    if (got == 0) break;
    if (got > 0) bytes.append(chunk, static_cast<size_t>(got));
  }
  return bytes;
}

void SocketPair::Close(int index) {
  if (sockets[index] >= 0) close(sockets[index]);
  sockets[index] = -1;
}

void IoTest::SetUp() {
  FramesTest::SetUp();
  queue_ = HubIO_CreateSockObjectQueue(pair_.sockets[1], HUBIO_CONNECTION_QUEUE_SIZE,
                                       HUBIO_CONNECTION_QUEUE_SIZE);
}

void IoTest::TearDown() {
  HubIO_DestroySockObjectQueue(queue_);
  FramesTest::TearDown();
}

std::string Message(int32_t type, const std::string& data) {
  std::string header(8, '\0');
  uint32_t words[2] = {static_cast<uint32_t>(type), static_cast<uint32_t>(data.size())};
  for (int w = 0; w < 2; ++w) {
    for (int b = 0; b < 4; ++b) header[4 * w + b] = static_cast<char>(words[w] >> (24 - 8 * b));
  }
  return header + data;
}

}  // namespace hubtest
