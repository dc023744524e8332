// The peer link's message reader against a plain model of its framing: the
// stream is cut at each NUL, each message is cut to the server's limit, and an
// unterminated tail is dropped. The stream arrives in chunks of varied size,
// with failed reads in between; a failed read loses nothing.
//
// Input: two bytes that seed the chunk sizes and failures, then the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "interpreter/server/PeerSocket.h"
#include "platform/MessageReader.h"
#include "tests/fuzz/FuzzCheck.h"

using platform::MessageReader;

namespace {

std::vector<std::string> ModelMessages(const std::string& stream, std::size_t limit) {
  std::vector<std::string> messages;
  std::string current;
  for (char byte : stream) {
    if (byte != '\0') {
      current += byte;
    } else {
      messages.push_back(current.substr(0, limit));
      current.clear();
    }
  }
  return messages;
}

// Hands the stream out in chunks whose sizes, and the failed reads between
// them, follow a small generator seeded by the input.
class ChunkedStream {
 public:
  ChunkedStream(const std::string& bytes, uint32_t seed) : bytes_(bytes), state_(seed) {}

  long Read(char* buffer, std::size_t size) {
    state_ = state_ * 1103515245u + 12345u;
    if ((state_ >> 16) % 8 == 0) {
      ++failures_;
      return -1;
    }
    std::size_t count =
        std::min<std::size_t>({size, bytes_.size() - offset_, 1 + (state_ >> 8) % 5000});
    std::memcpy(buffer, bytes_.data() + offset_, count);
    offset_ += count;
    return static_cast<long>(count);
  }
  int Failures() const { return failures_; }

 private:
  const std::string& bytes_;
  uint32_t state_;
  std::size_t offset_ = 0;
  int failures_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string stream(reinterpret_cast<const char*>(data) + 2, size - 2);
  ChunkedStream source(stream, data[0] | data[1] << 8);
  MessageReader reader([&](char* buffer, std::size_t n) { return source.Read(buffer, n); },
                       PeerSocket::kMaxMessage);

  std::vector<std::string> messages;
  int failures = 0;
  std::string message;
  for (;;) {
    MessageReader::Result result = reader.Next(&message);
    if (result == MessageReader::Result::kClosed) break;
    if (result == MessageReader::Result::kFailed) {
      ++failures;
    } else {
      messages.push_back(message);
    }
  }
  FUZZ_CHECK(messages == ModelMessages(stream, PeerSocket::kMaxMessage));
  FUZZ_CHECK(failures == source.Failures());
  return 0;
}
