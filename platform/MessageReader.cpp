#include "platform/MessageReader.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {
const std::size_t kChunk = 4096;
}

MessageReader::MessageReader(ReadFunction read, std::size_t maxLength)
    : read_(std::move(read)), maxLength_(maxLength), buffer_(kChunk) {}

bool MessageReader::TakeBuffered() {
  const char* first = buffer_.data() + begin_;
  const char* last = buffer_.data() + end_;
  const char* nul = std::find(first, last, '\0');
  const std::size_t seen = static_cast<std::size_t>(nul - first);
  current_.append(first, std::min(seen, maxLength_ - current_.size()));
  length_ += seen;
  bool complete = nul != last;
  begin_ = complete ? static_cast<std::size_t>(nul - buffer_.data()) + 1 : end_;
  return complete;
}

MessageReader::Result MessageReader::Next(std::string* message) {
  while (true) {
    if (begin_ < end_ && TakeBuffered()) {
      *message = std::move(current_);
      current_.clear();
      lastLength_ = length_;
      length_ = 0;
      return Result::kMessage;
    }
    if (closed_) return Result::kClosed;
    long count = read_(buffer_.data(), buffer_.size());
    if (count < 0) return Result::kFailed;
    if (count == 0) {
      closed_ = true;
      current_.clear();
      length_ = 0;
      return Result::kClosed;
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(count);
  }
}

}  // namespace platform
