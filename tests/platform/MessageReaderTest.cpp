#include "platform/MessageReader.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using platform::MessageReader;
using Result = MessageReader::Result;

namespace {

// A stream that hands out the given chunks one read at a time (a chunk larger
// than the reader's buffer arrives over several reads), then ends. A chunk
// "<fail>" makes that read fail.
class ChunkStream {
 public:
  explicit ChunkStream(std::vector<std::string> chunks) : chunks_(chunks.begin(), chunks.end()) {}

  long Read(char* buffer, std::size_t size) {
    ++reads_;
    if (chunks_.empty()) return 0;
    if (chunks_.front() == "<fail>") {
      chunks_.pop_front();
      return -1;
    }
    std::string& chunk = chunks_.front();
    std::size_t count = std::min(size, chunk.size());
    std::memcpy(buffer, chunk.data(), count);
    chunk.erase(0, count);
    if (chunk.empty()) chunks_.pop_front();
    return static_cast<long>(count);
  }
  int Reads() const { return reads_; }

 private:
  std::deque<std::string> chunks_;
  int reads_ = 0;
};

// Reads every message until the stream ends; a failure shows as "<failed>",
// and a cut message is followed by "<had N>", the length it had.
std::vector<std::string> ReadAll(ChunkStream& stream, std::size_t maxLength) {
  MessageReader reader([&](char* b, std::size_t n) { return stream.Read(b, n); }, maxLength);
  std::vector<std::string> messages;
  std::string message;
  for (int guard = 0; guard < 100; ++guard) {
    Result result = reader.Next(&message);
    if (result == Result::kClosed) break;
    messages.push_back(result == Result::kFailed ? "<failed>" : message);
    if (result == Result::kMessage && reader.LastLength() != message.size()) {
      messages.push_back("<had " + std::to_string(reader.LastLength()) + ">");
    }
  }
  return messages;
}

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }

struct FramingCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> expected;
};

const std::size_t kLimit = 9998;  // the server's: 9,998 characters, then the NUL

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, OneMessagePerCall) {
  ChunkStream stream(GetParam().chunks);
  EXPECT_EQ(GetParam().expected, ReadAll(stream, kLimit));
}

const std::string kA9998(9998, 'a');
const std::string kB9999(9999, 'b');
const std::string kC10000(10000, 'c');
const std::string kD25000(25000, 'd');

INSTANTIATE_TEST_SUITE_P(
    Cases, FramingTest,
    ::testing::Values(
        FramingCase{"Single", {Bytes("OK\0", 3)}, {"OK"}},
        FramingCase{"TwoJoined", {Bytes("OK\0Begin\0", 9)}, {"OK", "Begin"}},
        FramingCase{"SplitInTwo", {"Beg", Bytes("in\0", 3)}, {"Begin"}},
        FramingCase{"SplitAndJoined", {Bytes("A\0B", 3), Bytes("C\0", 2), Bytes("\0", 1)},
                    {"A", "BC", ""}},
        FramingCase{"OneByteReads", {"E", "n", "d", Bytes("\0", 1)}, {"End"}},
        FramingCase{"UnterminatedTailIsDropped", {Bytes("OK\0par", 6)}, {"OK"}},
        FramingCase{"FailureThenMoreData", {"O", "<fail>", Bytes("K\0", 2)}, {"<failed>", "OK"}},
        FramingCase{"LongestWhole", {kA9998 + '\0' + "x" + '\0'}, {kA9998, "x"}},
        FramingCase{"OneOverTheLimitIsCut", {kB9999 + '\0' + "x" + '\0'},
                    {kB9999.substr(0, 9998), "<had 9999>", "x"}},
        FramingCase{"OverLongIsCut", {kC10000 + '\0' + "x" + '\0'},
                    {kC10000.substr(0, 9998), "<had 10000>", "x"}},
        FramingCase{"OverLongAcrossReads", {kD25000.substr(0, 7000), kD25000.substr(7000) + '\0',
                                            Bytes("next\0", 5)},
                    {kD25000.substr(0, 9998), "<had 25000>", "next"}}),
    [](const ::testing::TestParamInfo<FramingCase>& info) { return info.param.name; });

TEST(MessageReaderTest, SmallerLimitForTheBridge) {
  ChunkStream stream({std::string(6000, 'z') + '\0'});
  EXPECT_EQ((std::vector<std::string>{std::string(5000, 'z'), "<had 6000>"}), ReadAll(stream, 5000));
}

TEST(MessageReaderTest, ClosedStreamIsNotReadAgain) {
  ChunkStream stream({});
  MessageReader reader([&](char* b, std::size_t n) { return stream.Read(b, n); }, kLimit);
  std::string message = "untouched";
  EXPECT_EQ(Result::kClosed, reader.Next(&message));
  EXPECT_EQ(Result::kClosed, reader.Next(&message));
  EXPECT_EQ(1, stream.Reads());
  EXPECT_EQ("untouched", message);
}

}  // namespace
