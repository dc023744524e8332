// Splits a byte stream into NUL-terminated messages: one message per call,
// however the stream splits or joins them. The bytes after a NUL are kept for
// the next call. A message longer than the maximum length is cut to it, and
// the rest of that message is discarded up to its NUL; the length it had is
// kept for the caller to report the cut.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class MessageReader {
 public:
  // Reads at most size bytes into buffer, blocking until some arrive.
  // Returns the count, 0 at the end of the stream, negative on failure.
  using ReadFunction = std::function<long(char* buffer, std::size_t size)>;

  enum class Result {
    kMessage,  // message holds the next message, without its NUL
    kClosed,   // the stream ended; an unterminated last fragment is dropped
    kFailed,   // the read function failed; a later call reads again
  };

  MessageReader(ReadFunction read, std::size_t maxLength);

  Result Next(std::string* message);

  // The length of the last message Next gave, before any cut: more than the
  // maximum length when it was cut.
  std::size_t LastLength() const { return lastLength_; }

 private:
  // Moves buffered bytes into the current message; true when its NUL was seen.
  bool TakeBuffered();

  ReadFunction read_;
  std::size_t maxLength_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  std::string current_;    // the message being collected, at most maxLength_
  std::size_t length_ = 0;  // the bytes of that message seen so far
  std::size_t lastLength_ = 0;
  bool closed_ = false;
};

}  // namespace platform
