// Frames as socket messages: writing, reading with the two filters, deferral
// between readers, and what a reader gets when the data is not a frame.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "libhub/io/BinaryIO.h"
#include "libhub/io/Xdr.h"
#include "libhub/util/Mutex.h"
#include "tests/libhub/io/IoTestSupport.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace hubtest {
namespace {

using BinaryIOTest = IoTest;

// A reply frame stamped with a transaction index in ":hub_opaque_data".
Hub_Frame* Stamped(const char* name, int index) {
  Hub_Frame* frame = Hub_MakeFrame(name);
  Hub_Frame* opaque =
      FrameWithInts("admin_info", {{":server_tidx", index}, {":reply_requested", 1}});
  Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeFrameObject(opaque));
  return frame;
}

// The whole message of a frame; the frame is destroyed.
std::string FrameMessage(int32_t type, Hub_Frame* frame) {
  int32_t length = 0;
  char* bytes = HubIO_EncodeFrame(frame, &length);
  Hub_DestroyFrame(frame);
  std::string data(bytes, length);
  free(bytes);
  return Message(type, data);
}

// The name of the frame read ("" when none), and its message type.
struct Read {
  int result;
  std::string name;
  int32_t type;
};

Read TakeFrame(Hub_Frame* frame, int result, int32_t type) {
  Read read{result, frame ? Hub_FrameName(frame) : "", type};
  Hub_DestroyFrame(frame);
  return read;
}

Read NewMessage(HubIO_SockObjectQueue* queue, int blocking) {
  Hub_Frame* frame = nullptr;
  int result = HubIO_ReadNewMessage(queue, &frame, blocking);
  return TakeFrame(frame, result, result == 1 ? HUB_MESSAGE_MSG_TYPE : -1);
}

Read Reply(HubIO_SockObjectQueue* queue, int32_t index, int blocking) {
  Hub_Frame* frame = nullptr;
  int32_t type = -1;
  int result = HubIO_ReadReplyFrame(queue, &frame, &type, index, blocking);
  return TakeFrame(frame, result, type);
}

bool operator==(const Read& a, const Read& b) {
  return a.result == b.result && a.name == b.name && a.type == b.type;
}
std::ostream& operator<<(std::ostream& out, const Read& read) {
  return out << "{" << read.result << ", \"" << read.name << "\", " << read.type << "}";
}

bool SocketHoldsUnreadData(int socket) {
  char byte;
  return recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

TEST_F(BinaryIOTest, FramesTravelBetweenTwoQueues) {
  HubIO_SockObjectQueue* writer = HubIO_CreateSockObjectQueue(
      pair_.sockets[0], HUBIO_CONNECTION_QUEUE_SIZE, HUBIO_CONNECTION_QUEUE_SIZE);
  Hub_Frame* sent = FrameWithInts("handshake", {{":conn_type", 1}});
  EXPECT_EQ(HubIO_WriteFrame(writer, sent, HUB_MESSAGE_MSG_TYPE), 0);
  Hub_Frame* got = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return HubIO_ReadNewMessage(queue_, &got, 0) == 1; }));
  EXPECT_TRUE(Hub_FramesAreEqual(got, sent));
  EXPECT_EQ(Hub_FrameKind(got), HUB_KIND_CLAUSE);
  Hub_DestroyFrame(got);
  EXPECT_EQ(HubIO_ReadNewMessage(queue_, &got, 0), 0);
  EXPECT_EQ(got, nullptr);
  Hub_DestroyFrame(sent);
  HubIO_DestroySockObjectQueue(writer);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(BinaryIOTest, FiltersPickTheirMessages) {
  struct Case {
    const char* what;
    int32_t messageType;
    Hub_Frame* (*make)();
    int32_t elementType;
    int32_t wanted;
    int reply;  // the reply filter's answer
    int fresh;  // the new-message filter's answer
  } const cases[] = {
      {"reply for 7 wanted by 7", 2, [] { return Stamped("r", 7); }, HUB_FRAME, 7, 1, 0},
      {"reply for 7 wanted by 8", 2, [] { return Stamped("r", 7); }, HUB_FRAME, 8, 0, 0},
      {"reply for 7 wanted by any", 2, [] { return Stamped("r", 7); }, HUB_FRAME, -1, 1, 0},
      {"destroy", 3, [] { return Stamped("r", 7); }, HUB_FRAME, 7, 1, 0},
      {"error", 6, [] { return Stamped("r", 7); }, HUB_FRAME, 7, 1, 0},
      {"new message", 1, [] { return Stamped("r", 7); }, HUB_FRAME, 7, 0, 1},
      {"new message that is no frame", 1, [] { return Stamped("r", 7); }, HUB_INT, -1, 0, 0},
      {"object", 0, [] { return Stamped("r", 7); }, HUB_FRAME, -1, 0, 0},
      {"postpone", 8, [] { return Stamped("r", 7); }, HUB_FRAME, -1, 0, 0},
      {"reply without an index", 2, [] { return Hub_MakeFrame("r"); }, HUB_FRAME, 7, 0, 0},
      {"reply without an index to any", 2, [] { return Hub_MakeFrame("r"); }, HUB_FRAME, -1, 1, 0},
      {"index that is a string", 2,
       [] {
         Hub_Frame* frame = Hub_MakeFrame("r");
         Hub_Frame* opaque = Hub_MakeFrame("admin_info");
         Hub_SetFrameProperty(opaque, ":server_tidx", Hub_MakeStringObject("7"));
         Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeFrameObject(opaque));
         return frame;
       },
       HUB_FRAME, 7, 0, 0},
      {"opaque data that is no frame", 2,
       [] {
         Hub_Frame* frame = Hub_MakeFrame("r");
         Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeIntObject(7));
         return frame;
       },
       HUB_FRAME, 7, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Frame* frame = c.make();
    int32_t wanted = c.wanted;
    EXPECT_EQ(HubIO_ReplyFilter(c.messageType, frame, 1, c.elementType, &wanted) != 0, c.reply);
    EXPECT_EQ(HubIO_NewMessageFilter(c.messageType, frame, 1, c.elementType, nullptr) != 0,
              c.fresh);
    Hub_DestroyFrame(frame);
  }
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(BinaryIOTest, FramesOneFilterRejectsWaitForTheNextReader) {
  pair_.Write(0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("reply7", 7)) +
                     FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("m")) +
                     FrameMessage(HUB_ERROR_MSG_TYPE, Stamped("error8", 8)));
  // A non-blocking reader that rejects a frame gives 0 for that call.
  EXPECT_EQ(NewMessage(queue_, 0), (Read{0, "", -1}));
  EXPECT_EQ(HubIO_SockObjectQueueInputPending(queue_), 1);
  EXPECT_EQ(NewMessage(queue_, 0), (Read{1, "m", HUB_MESSAGE_MSG_TYPE}));
  EXPECT_EQ(Reply(queue_, 8, 0), (Read{1, "error8", HUB_ERROR_MSG_TYPE}));
  EXPECT_EQ(Reply(queue_, 7, 0), (Read{1, "reply7", HUB_REPLY_MSG_TYPE}));
  EXPECT_EQ(HubIO_SockObjectQueueInputPending(queue_), 0);
  EXPECT_EQ(Reply(queue_, -1, 0), (Read{0, "", -1}));

  // A deferred frame is handed out before any new socket data is read.
  pair_.Write(0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("again7", 7)));
  EXPECT_EQ(NewMessage(queue_, 0), (Read{0, "", -1}));
  pair_.Write(0, FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("later")));
  EXPECT_EQ(Reply(queue_, 7, 1), (Read{1, "again7", HUB_REPLY_MSG_TYPE}));
  EXPECT_TRUE(SocketHoldsUnreadData(pair_.sockets[1]));
  EXPECT_EQ(NewMessage(queue_, 0), (Read{1, "later", HUB_MESSAGE_MSG_TYPE}));
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(BinaryIOTest, ABlockingReaderWaitsForItsIndexAndParksTheRest) {
  Watchdog watchdog(10000);
  std::thread writer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair_.Write(0, FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("m")));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pair_.Write(0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("r3", 3)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pair_.Write(0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("r5", 5)));
  });
  EXPECT_EQ(Reply(queue_, 5, 1), (Read{1, "r5", HUB_REPLY_MSG_TYPE}));
  writer.join();
  EXPECT_EQ(Reply(queue_, 3, 0), (Read{1, "r3", HUB_REPLY_MSG_TYPE}));
  EXPECT_EQ(NewMessage(queue_, 0), (Read{1, "m", HUB_MESSAGE_MSG_TYPE}));
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(BinaryIOTest, ABlockingReaderWithoutTheLockTakesWhatTheHolderParks) {
  Watchdog watchdog(10000);
  std::atomic<int> stage{0};
  Read got{-9, "", -1};
  std::thread holder([&] {
    HubUtil_LockMutex(queue_->lock);
    stage = 1;
    while (stage != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The holder reads for new messages and parks the reply it does not want.
    pair_.Write(0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("r7", 7)) +
                       FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("m")));
    Read first = NewMessage(queue_, 0);
    EXPECT_EQ(first.result, 0);
    while (stage != 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Read second = NewMessage(queue_, 0);
    EXPECT_EQ(second, (Read{1, "m", HUB_MESSAGE_MSG_TYPE}));
    HubUtil_UnlockMutex(queue_->lock);
  });
  ASSERT_TRUE(WaitUntil([&] { return stage == 1; }));
  std::thread reader([&] {
    stage = 2;
    got = Reply(queue_, 7, 1);
    stage = 3;
  });
  reader.join();
  holder.join();
  EXPECT_EQ(got, (Read{1, "r7", HUB_REPLY_MSG_TYPE}));
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(BinaryIOTest, ABlockingReaderGetsEveryMessageOfOneSegment) {
  Watchdog watchdog(10000);
  pair_.Write(0, FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("one")) +
                     FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("two")));
  EXPECT_EQ(NewMessage(queue_, 1).name, "one");
  EXPECT_EQ(NewMessage(queue_, 1).name, "two");
}

TEST_F(BinaryIOTest, ABlockingReadOfAnEndedStreamFails) {
  Watchdog watchdog(10000);
  pair_.Write(
      0, FrameMessage(HUB_REPLY_MSG_TYPE, Stamped("r1", 1)) + Message(HUB_DISCONNECT_MSG_TYPE, ""));
  EXPECT_EQ(Reply(queue_, 2, 1), (Read{-1, "", -1}));
  EXPECT_EQ(TakeShown(),
            std::vector<std::string>{"W:Couldn't read from connection queue due to socket error"});
  EXPECT_EQ(Reply(queue_, 1, 1), (Read{1, "r1", HUB_REPLY_MSG_TYPE}));
}

TEST_F(BinaryIOTest, DataThatIsNoFrameFailsTheReadButNotTheQueue) {
  struct Case {
    const char* what;
    std::string message;
    std::vector<std::string> warnings;
  } const cases[] = {
      {"an int",
       Message(1, Unhex("00000003 00000005")),
       {"W:Found object of type HUB_INT instead of frame while decoding XDR string"}},
      {"a list",
       Message(1, Unhex("00000006 00000001 00000002 00000001 73000000")),
       {"W:Found object of type HUB_LIST instead of frame while decoding XDR string"}},
      {"no data", Message(1, ""), {"W:Couldn't decode XDR string"}},
      {"a cut frame", Message(1, Unhex("00000001 00000002")), {"W:Couldn't decode XDR string"}},
      {"a refused type",
       Message(1, Unhex("00000007 00000000")),
       {"W:Can't XDR decode type HUB_PTR", "W:Couldn't decode XDR string"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pair_.Write(0, c.message + FrameMessage(HUB_MESSAGE_MSG_TYPE, Hub_MakeFrame("next")));
    EXPECT_EQ(NewMessage(queue_, 0), (Read{-1, "", -1}));
    EXPECT_EQ(TakeShown(), c.warnings);
    EXPECT_EQ(NewMessage(queue_, 0), (Read{1, "next", HUB_MESSAGE_MSG_TYPE}));
  }
}

TEST_F(BinaryIOTest, ASocketErrorFailsTheFrameRead) {
  pair_.Close(0);
  EXPECT_EQ(NewMessage(queue_, 0), (Read{-1, "", -1}));
  std::vector<std::string> shown = TakeShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2], "W:Couldn't read from connection queue due to socket error");
}

TEST_F(BinaryIOTest, ReadObjectGivesTheRawElement) {
  uintptr_t value = 0;
  int32_t type = -1, size = -1, messageType = -1;
  EXPECT_EQ(HubIO_ReadObject(queue_, &value, &type, &size, &messageType), 0);

  pair_.Write(0, Message(HUB_OBJECT_MSG_TYPE, Unhex("00000003 0000002a")) +
                     Message(HUB_OBJECT_MSG_TYPE, Unhex("0000000c 00000002 00000001 fffffffe")) +
                     Message(HUB_OBJECT_MSG_TYPE, Unhex("00000002 00000009")) +
                     Message(HUB_OBJECT_MSG_TYPE, Unhex("00000002 00000000")));
  EXPECT_EQ(HubIO_ReadObject(queue_, &value, &type, &size, &messageType), 1);
  EXPECT_EQ(type, HUB_INT);
  EXPECT_EQ(static_cast<int32_t>(value), 42);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(messageType, HUB_OBJECT_MSG_TYPE);

  EXPECT_EQ(HubIO_ReadObject(queue_, &value, &type, &size, nullptr), 1);
  ASSERT_EQ(type, HUB_INT_16);
  ASSERT_EQ(size, 2);
  EXPECT_EQ(reinterpret_cast<int16_t*>(value)[0], 1);
  EXPECT_EQ(reinterpret_cast<int16_t*>(value)[1], -2);
  Hub_Object* array = HubIO_MakeElementObject(type, value, size);
  EXPECT_EQ(Hub_ArraySizeOfType(array, HUB_INT_16), 2);
  Hub_DestroyObject(array);

  EXPECT_EQ(HubIO_ReadObject(queue_, &value, &type, &size, nullptr), -1);
  EXPECT_EQ(TakeShown(), std::vector<std::string>{"W:Couldn't decode object from XDR string"});
  EXPECT_EQ(HubIO_ReadObject(queue_, &value, nullptr, &size, nullptr), -1);
  EXPECT_EQ(TakeShown(),
            std::vector<std::string>{"W:No place to put result of decoding XDR string"});
  EXPECT_EQ(HubIO_ReadObject(queue_, &value, &type, &size, nullptr), 1);
  EXPECT_EQ(type, HUB_STRING);
  EXPECT_STREQ(reinterpret_cast<char*>(value), "");
  HubIO_FreeElement(type, value, size);
}

TEST_F(BinaryIOTest, AFrameThatCannotBeEncodedIsNeverSent) {
  Hub_Frame* frame = Hub_MakeFrame("f");
  Hub_SetFrameProperty(frame, ":l", Hub_MakeListObjectOfArgs(1, Hub_MakePointerObject(frame)));
  EXPECT_EQ(HubIO_FrameToSockObject(frame, HUB_MESSAGE_MSG_TYPE), nullptr);
  EXPECT_EQ(HubIO_WriteFrame(queue_, frame, HUB_MESSAGE_MSG_TYPE), -1);
  EXPECT_EQ(TakeShown(), (std::vector<std::string>{"W:Couldn't encode frame into XDR string",
                                                   "W:Couldn't encode frame into XDR string"}));
  EXPECT_FALSE(SocketHoldsUnreadData(pair_.sockets[0]));
  EXPECT_EQ(HubIO_FrameToSockObject(nullptr, HUB_MESSAGE_MSG_TYPE), nullptr);
  TakeShown();
  Hub_DestroyFrame(frame);
}

}  // namespace
}  // namespace hubtest
