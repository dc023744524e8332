// Shared by the wire-format tests: hex forms of byte strings, connected
// socket pairs, and a fixture that collects the library's warnings.
#pragma once
#include <cstdint>
#include <string>

#include "libhub/io/SockQueue.h"
#include "tests/libhub/frames/FramesTestSupport.h"

namespace hubtest {

// Bytes as lower-case hex, a blank after every 4 bytes ("00000001 00000038").
std::string Hex(const char* bytes, size_t count);
std::string Hex(const std::string& bytes);
// The bytes of a hex text; blanks are skipped.
std::string Unhex(const std::string& hex);

// A connected pair of stream sockets; both closed by the destructor unless
// taken (set to -1) by the test.
struct SocketPair {
  SocketPair();
  ~SocketPair();
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;
  // Writes every byte to `sockets[index]` (blocking).
  void Write(int index, const std::string& bytes);
  // Reads what arrives on `sockets[index]` until `count` bytes are there or
  // `timeoutMs` has passed.
  std::string Read(int index, size_t count, int timeoutMs = 5000);
  void Close(int index);
  int sockets[2];
};

// An object queue over sockets[1] of its own pair, with the connection sizes.
class IoTest : public FramesTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  SocketPair pair_;
  HubIO_SockObjectQueue* queue_ = nullptr;
};

// The message (header and data) of a type with the data given.
std::string Message(int32_t type, const std::string& data);
// The data of the frame {c handshake :conn_type 1} as derived by hand.
extern const char* const kHandshakeHex;

}  // namespace hubtest
