// Socket queues over a socket pair: messages cut from pieces, failures of the
// stream, and writes that the peer does not take at once.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "libhub/io/BinaryIO.h"
#include "libhub/io/SockQueue.h"
#include "libhub/util/Mutex.h"
#include "tests/libhub/io/IoTestSupport.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace hubtest {
namespace {

using SockQueueTest = IoTest;

// The next complete message as "type:hex of data", or "none" / "error".
std::string Next(HubIO_SockObjectQueue* queue) {
  HubIO_SockObject* record = nullptr;
  int got = HubIO_SockObjectQueueNextObject(queue, &record);
  if (got < 0) return "error";
  if (got == 0) return "none";
  std::string text = std::to_string(record->messageType) + ":" +
                     (record->data ? Hex(record->data, record->dataLength) : "<no data>");
  EXPECT_EQ(record->bytesDone, HUBIO_HEADER_SIZE + record->dataLength);
  if (record->data) {
    EXPECT_EQ(record->data[record->dataLength], '\0');
  }
  HubIO_FreeSockObject(record);
  return text;
}

TEST(MessageTypeNameTest, NamesEveryTypeAndNothingElse) {
  const char* const names[] = {
      "HUB_OBJECT_MSG_TYPE",  "HUB_MESSAGE_MSG_TYPE",      "HUB_REPLY_MSG_TYPE",
      "HUB_DESTROY_MSG_TYPE", "HUB_BROKER_START_MSG_TYPE", "HUB_BROKER_END_MSG_TYPE",
      "HUB_ERROR_MSG_TYPE",   "HUB_DISCONNECT_MSG_TYPE",   "HUB_POSTPONE_MSG_TYPE",
  };
  for (int type = 0; type <= 8; ++type) EXPECT_STREQ(HubIO_MessageTypeName(type), names[type]);
  for (int type : {9, -1, 100}) EXPECT_STREQ(HubIO_MessageTypeName(type), "<unknown>");
}

TEST_F(SockQueueTest, RecordsCarryTheEncodedHeader) {
  struct Case {
    int32_t type;
    int32_t length;
    bool withData;
    const char* header;
  } const cases[] = {
      {HUB_MESSAGE_MSG_TYPE, 56, true, "00000001 00000038"},
      {HUB_DISCONNECT_MSG_TYPE, 0, false, "00000007 00000000"},
      {9, 0x010203, true, "00000009 00010203"},
      // No data behind a length: the header must not promise any.
      {HUB_REPLY_MSG_TYPE, 12, false, "00000002 00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    std::string data(c.withData ? c.length : 0, 'x');
    HubIO_SockObject* record =
        HubIO_MakeSockObject(c.withData ? data.data() : nullptr, c.type, c.length, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Hex(record->header, HUBIO_HEADER_SIZE), c.header);
    EXPECT_EQ(record->header[HUBIO_HEADER_SIZE], '\0');
    EXPECT_EQ(record->bytesWanted, HUBIO_HEADER_SIZE);
    EXPECT_EQ(record->cursor, record->header);
    EXPECT_EQ(record->messageType, c.type);
    EXPECT_EQ(record->dataLength, c.withData ? c.length : 0);
    EXPECT_EQ(record->data != nullptr, c.withData);
    HubIO_FreeSockObject(record);
  }
  EXPECT_EQ(HubIO_MakeSockObject(nullptr, 1, -1, 0), nullptr);
  EXPECT_EQ(HubIO_MakeSockObject(static_cast<char*>(malloc(4)), 1, -4, 1), nullptr);
  EXPECT_EQ(TakeShown(), (std::vector<std::string>{
                             "W:Found invalid data size -1 < 0 while creating socket object",
                             "W:Found invalid data size -4 < 0 while creating socket object"}));
}

TEST_F(SockQueueTest, HandshakeGoesOutWithItsHeader) {
  Hub_Frame* frame = FrameWithInts("handshake", {{":conn_type", 1}});
  EXPECT_EQ(HubIO_WriteFrame(queue_, frame, HUB_MESSAGE_MSG_TYPE), 0);
  Hub_DestroyFrame(frame);
  EXPECT_EQ(Hex(pair_.Read(0, 64)), std::string("00000001 00000038 ") + kHandshakeHex);
}

TEST_F(SockQueueTest, MessagesAreCutFromAnySplitOfTheBytes) {
  std::string stream = Message(HUB_MESSAGE_MSG_TYPE, Unhex(kHandshakeHex)) +
                       Message(HUB_OBJECT_MSG_TYPE, "") + Message(HUB_REPLY_MSG_TYPE, "abcde");
  const std::vector<std::string> expected = {"1:" + std::string(kHandshakeHex), "0:<no data>",
                                             "2:" + Hex(std::string("abcde"))};
  struct Case {
    const char* what;
    std::vector<size_t> cuts;  // where each write ends
  } const cases[] = {
      {"all at once", {stream.size()}},
      {"header 5 then 3", {5, 8, stream.size()}},
      {"data in pieces", {8, 9, 20, 33, 63, 64, stream.size()}},
      {"byte by byte", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<size_t> cuts = c.cuts;
    if (cuts.empty()) {
      for (size_t i = 1; i <= stream.size(); ++i) cuts.push_back(i);
    }
    std::vector<std::string> got;
    size_t done = 0;
    for (size_t cut : cuts) {
      // A stream socket of this host hands the bytes over before send returns.
      pair_.Write(0, stream.substr(done, cut - done));
      done = cut;
      HubIO_SockObjectQueueRead(queue_);
      EXPECT_EQ(queue_->byteQueue->inLength, 0);
      for (std::string next = Next(queue_); next != "none"; next = Next(queue_))
        got.push_back(next);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(queue_->currentInput, nullptr);
  }
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(SockQueueTest, AHeaderInTwoReadsCompletesOnTheSecond) {
  std::string message = Message(HUB_REPLY_MSG_TYPE, "");
  pair_.Write(0, message.substr(0, 5));
  ASSERT_TRUE(WaitUntil([&] {
    return HubIO_SockObjectQueueRead(queue_) == 0 && queue_->currentInput &&
           queue_->currentInput->bytesDone == 5;
  }));
  EXPECT_EQ(queue_->currentInput->bytesWanted, 3);
  pair_.Write(0, message.substr(5));
  ASSERT_TRUE(WaitUntil([&] { return HubIO_SockObjectQueueRead(queue_) == 1; }));
  EXPECT_EQ(Next(queue_), "2:<no data>");
  EXPECT_EQ(HubIO_SockObjectQueueRead(queue_), 0);
}

TEST_F(SockQueueTest, DisconnectStopsReadingAndKeepsCompleteMessages) {
  pair_.Write(0, Message(HUB_OBJECT_MSG_TYPE, "1234") + Message(HUB_DISCONNECT_MSG_TYPE, "") +
                     Message(HUB_OBJECT_MSG_TYPE, "5678"));
  ASSERT_TRUE(WaitUntil([&] {
    HubIO_SockObjectQueueRead(queue_);
    return queue_->disconnected == 1;
  }));
  EXPECT_EQ(Next(queue_), "0:31323334");
  EXPECT_EQ(Next(queue_), "none");
  pair_.Write(0, Message(HUB_OBJECT_MSG_TYPE, "more"));
  EXPECT_EQ(HubIO_SockObjectQueueRead(queue_), 0);
  EXPECT_EQ(Next(queue_), "none");
  EXPECT_EQ(queue_->error, 0);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(SockQueueTest, BadHeadersLeaveTheQueueFailed) {
  struct Case {
    const char* what;
    const char* header;
    const char* warning;
  } const cases[] = {
      {"negative length", "00000001 ffffffff", "W:atoi(00000001ffffffff) < 0"},
      {"length above 64 MiB", "00000001 04000001",
       "W:Found invalid header 0000000104000001 while reading from queue"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SocketPair pair;
    HubIO_SockObjectQueue* queue = HubIO_CreateSockObjectQueue(pair.sockets[1], 64, 64);
    pair.Write(0, Message(HUB_REPLY_MSG_TYPE, "ok") + Unhex(c.header) + std::string(16, 'x'));
    // The message before the bad header is still handed out; then every read fails.
    ASSERT_TRUE(WaitUntil([&] { return HubIO_SockObjectQueueRead(queue) == -1; }));
    EXPECT_EQ(TakeShown(), std::vector<std::string>{c.warning});
    EXPECT_EQ(queue->error, HUBIO_PROTOCOL_ERROR);
    EXPECT_EQ(Next(queue), "2:6f6b");
    pair.Write(0, Message(HUB_REPLY_MSG_TYPE, "later"));
    EXPECT_EQ(Next(queue), "error");
    EXPECT_EQ(HubIO_SockObjectQueueRead(queue), -1);
    EXPECT_TRUE(TakeShown().empty());
    HubIO_DestroySockObjectQueue(queue);
  }
}

TEST_F(SockQueueTest, ALengthOf64MiBIsAccepted) {
  pair_.Write(0, Unhex("00000000 04000000") + "abc");
  ASSERT_TRUE(WaitUntil([&] {
    return HubIO_SockObjectQueueRead(queue_) == 0 && queue_->currentInput &&
           queue_->currentInput->bytesDone == 11;
  }));
  EXPECT_EQ(queue_->currentInput->bytesWanted, 64 * 1024 * 1024 - 3);
  EXPECT_EQ(queue_->error, 0);
}

TEST_F(SockQueueTest, APeerThatClosesGivesError32AfterWhatItSent) {
  pair_.Write(0, Message(HUB_MESSAGE_MSG_TYPE, "a") + Message(HUB_MESSAGE_MSG_TYPE, "b"));
  pair_.Close(0);
  ASSERT_TRUE(WaitUntil([&] { return HubIO_SockObjectQueueRead(queue_) != 0; }));
  EXPECT_EQ(Next(queue_), "1:61");
  EXPECT_EQ(Next(queue_), "1:62");
  EXPECT_EQ(Next(queue_), "error");
  EXPECT_EQ(queue_->error, HUBUTIL_PEER_CLOSED_ERROR);
  std::vector<std::string> shown = TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("W:Socket error: connection disrupted or closed (errno = ", 0), 0u)
      << shown[0];
  EXPECT_NE(shown[0].find(", q->in_len = 0)\n"), std::string::npos) << shown[0];
  EXPECT_EQ(shown[1], "W:Encountered socket error while reading from queue");
  EXPECT_EQ(Next(queue_), "error");  // reported once; later reads fail silently
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(SockQueueTest, WritingToAClosedPeerFails) {
  pair_.Close(0);
  Hub_Frame* frame = FrameWithInts("f", {});
  EXPECT_EQ(HubIO_WriteFrame(queue_, frame, HUB_MESSAGE_MSG_TYPE), -1);
  Hub_DestroyFrame(frame);
  EXPECT_EQ(queue_->error, EPIPE);
  std::vector<std::string> shown = TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "W:Encountered socket error " + std::to_string(EPIPE) + " (" +
                          std::to_string(pair_.sockets[1]) + ") while writing to queue");
  EXPECT_EQ(shown[1].rfind("W:Encountered socket error (" + std::to_string(EPIPE) + ") ", 0), 0u);
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue_), -1);
}

TEST_F(SockQueueTest, OutputBufferDoublesOrTakesWhatIsNeeded) {
  HubIO_SockObjectQueue* queue = HubIO_CreateSockObjectQueue(HUBUTIL_INVALID_SOCKET, 16, 16);
  Hub_Frame* frame = FrameWithInts("handshake", {{":conn_type", 1}});
  // Without a socket everything stays queued: header 8 fits, then 56 more
  // need 64 > 2 × 16.
  EXPECT_EQ(HubIO_WriteFrame(queue, frame, HUB_MESSAGE_MSG_TYPE), 1);
  EXPECT_EQ(queue->byteQueue->outLength, 64);
  EXPECT_EQ(queue->byteQueue->outCapacity, 64);
  EXPECT_EQ(Hex(queue->byteQueue->out, 64), std::string("00000001 00000038 ") + kHandshakeHex);
  // 8 more: doubling gives 128.
  EXPECT_EQ(HubIO_SockObjectQueueSend(queue, HubIO_MakeSockObject(nullptr, 0, 0, 0)), 1);
  EXPECT_EQ(queue->byteQueue->outLength, 72);
  EXPECT_EQ(queue->byteQueue->outCapacity, 128);
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue), 1);

  // Given a socket, the held bytes go out on the next flush.
  SocketPair pair;
  HubIO_SockObjectQueueSetSocket(queue, pair.sockets[1]);
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue), 0);
  EXPECT_EQ(Hex(pair.Read(0, 72)),
            std::string("00000001 00000038 ") + kHandshakeHex + " 00000000 00000000");
  Hub_DestroyFrame(frame);
  HubIO_DestroySockObjectQueue(queue);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(SockQueueTest, PartialWritesKeepTheRestForAPeerThatDoesNotRead) {
  hubtest::Watchdog watchdog(30000);
  int small = 4096;
  setsockopt(pair_.sockets[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  setsockopt(pair_.sockets[0], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  std::string payload(1 << 20, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  Hub_Frame* frame = Hub_MakeFrame("bulk");
  Hub_SetFrameProperty(frame, ":data", Hub_MakeBinaryObject(payload.data(), 1 << 20));

  // Nothing waits on the peer: the rest stays in the output buffer.
  EXPECT_EQ(HubIO_WriteFrame(queue_, frame, HUB_MESSAGE_MSG_TYPE), 1);
  int32_t held = queue_->byteQueue->outLength;
  EXPECT_GT(held, 0);
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue_), 1);
  EXPECT_EQ(HubIO_WriteFrame(queue_, frame, HUB_REPLY_MSG_TYPE), 1);

  // The peer reads while the queue keeps flushing: both messages arrive whole.
  HubIO_SockObjectQueue* reader =
      HubIO_CreateSockObjectQueue(pair_.sockets[0], HUBIO_CONNECTION_QUEUE_SIZE, 32);
  std::vector<int32_t> types;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int flushed = 1;
  while (types.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    if (flushed == 1) flushed = HubIO_SockObjectQueueFlush(queue_);
    ASSERT_GE(flushed, 0);
    Hub_Frame* got = nullptr;
    int32_t type = -1;
    int read = HubIO_SockObjectQueueReadFrame(reader, &got, &type, nullptr, nullptr, 0);
    ASSERT_GE(read, 0);
    if (read == 1) {
      EXPECT_TRUE(Hub_FramesAreEqual(got, frame));
      types.push_back(type);
      Hub_DestroyFrame(got);
    }
  }
  EXPECT_EQ(flushed, 0);
  EXPECT_EQ(types, (std::vector<int32_t>{HUB_MESSAGE_MSG_TYPE, HUB_REPLY_MSG_TYPE}));
  HubIO_DestroySockObjectQueue(reader);
  Hub_DestroyFrame(frame);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(SockQueueTest, ResetDropsEverythingAndForgetsTheSocket) {
  pair_.Write(0, Message(HUB_MESSAGE_MSG_TYPE, "ab") + Message(HUB_MESSAGE_MSG_TYPE, "c") +
                     Unhex("00000001"));
  ASSERT_TRUE(WaitUntil([&] {
    HubIO_SockObjectQueueRead(queue_);
    return queue_->currentInput && queue_->currentInput->bytesDone == 4;
  }));
  EXPECT_EQ(HubIO_SockObjectQueueInputPending(queue_), 1);
  queue_->byteQueue->socket = HUBUTIL_INVALID_SOCKET;
  EXPECT_EQ(HubIO_SockObjectQueueSend(queue_, HubIO_MakeSockObject(nullptr, 2, 0, 0)), 1);
  HubIO_SockObjectQueueReset(queue_);
  EXPECT_EQ(HubIO_SockObjectQueueInputPending(queue_), 0);
  EXPECT_EQ(queue_->currentInput, nullptr);
  EXPECT_EQ(queue_->byteQueue->outLength, 0);
  EXPECT_EQ(queue_->byteQueue->socket, HUBUTIL_INVALID_SOCKET);
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue_), 0);
  EXPECT_EQ(Next(queue_), "error");  // no socket to read from
  TakeShown();
}

TEST_F(SockQueueTest, AnotherThreadHoldingTheLockMakesReadsAndFlushesWait) {
  hubtest::Watchdog watchdog(10000);
  pair_.Write(0, Message(HUB_MESSAGE_MSG_TYPE, "x"));
  std::atomic<int> stage{0};
  std::thread holder([&] {
    HubUtil_LockMutex(queue_->lock);
    stage = 1;
    while (stage != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HubUtil_UnlockMutex(queue_->lock);
  });
  ASSERT_TRUE(WaitUntil([&] { return stage == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(HubIO_SockObjectQueueRead(queue_), 0);
  EXPECT_EQ(Next(queue_), "none");
  EXPECT_EQ(HubIO_SockObjectQueueSend(queue_, HubIO_MakeSockObject(nullptr, 2, 0, 0)), 1);
  stage = 2;
  holder.join();
  EXPECT_EQ(Next(queue_), "1:78");
  EXPECT_EQ(HubIO_SockObjectQueueFlush(queue_), 0);
  EXPECT_EQ(Hex(pair_.Read(0, 8)), "00000002 00000000");
}

std::vector<std::string>& DeepTraces() {
  static std::vector<std::string> traces;
  return traces;
}

void CaptureDeepTrace(const char* format, va_list args, void*) {
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  DeepTraces().push_back(text);
}

void IgnoreTrace(const char*, va_list, void*) {}

TEST_F(SockQueueTest, DeepTraceShowsTheSendQueueWithOctalEscapes) {
  HubUtil_PrinterTable* table = HubUtil_CurrentPrinters();
  table->deepTrace = CaptureDeepTrace;
  table->trace = IgnoreTrace;
  HubUtil_SetVerbosity(6);
  DeepTraces().clear();
  char data[] = "A~\x7f";
  EXPECT_EQ(HubIO_SockObjectQueueSend(queue_, HubIO_MakeSockObject(data, 9, 3, 0)), 0);
  HubUtil_SetVerbosity(3);
  EXPECT_EQ(DeepTraces(),
            (std::vector<std::string>{
                "HubIO_SockQueueFlush: send queue: 11\n",
                "Queue contents: \\000\\000\\000\\011\\000\\000\\000\\003A~\\177\n"}));
  EXPECT_EQ(pair_.Read(0, 11), Message(9, "A~\x7f"));
}

}  // namespace
}  // namespace hubtest
