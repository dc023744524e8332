// The hub library's object queue reading any byte stream from a real socket,
// against a plain model of the message framing: an 8-byte header (type and
// data length, XDR ints) and that many data bytes; a disconnect message ends
// the stream; a negative length, or one above a hub link's largest, is a
// protocol error that stops reading; an unfinished message is lost when the
// peer closes. The queue must hand out exactly the model's messages, in order,
// and end the same way.
//
// Input: the stream.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "libhub/io/SockQueue.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/HubFuzzSetup.h"

namespace {

struct Message {
  int32_t type;
  std::string data;
  bool operator==(const Message& other) const { return type == other.type && data == other.data; }
};

enum class End { kClosed, kDisconnected, kProtocolError };

int32_t ReadInt(const std::string& bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return static_cast<int32_t>(value);
}

End ModelMessages(const std::string& stream, std::vector<Message>* messages) {
  std::size_t at = 0;
  while (stream.size() - at >= HUBIO_HEADER_SIZE) {
    int32_t type = ReadInt(stream, at), length = ReadInt(stream, at + 4);
    if (type == HUB_DISCONNECT_MSG_TYPE) return End::kDisconnected;
    if (length < 0 || length > HUBIO_MAX_HUB_MESSAGE_LENGTH) return End::kProtocolError;
    at += HUBIO_HEADER_SIZE;
    if (stream.size() - at < static_cast<std::size_t>(length)) break;
    messages->push_back({type, stream.substr(at, length)});
    at += length;
  }
  return End::kClosed;
}

// Writes the stream into the writer socket, a piece at a time, while the
// queue reads the other end; the writer is closed once all is written.
std::vector<Message> ReadThroughQueue(const std::string& stream, int writer,
                                      HubIO_SockObjectQueue* queue) {
  std::vector<Message> messages;
  std::size_t sent = 0;
  for (bool closed = false;;) {
    if (sent < stream.size()) {
      ssize_t count =
          send(writer, stream.data() + sent, stream.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (count > 0) sent += static_cast<std::size_t>(count);
    }
    if (sent == stream.size() && !closed) closed = close(writer) == 0;
    HubIO_SockObject* record = nullptr;
    int got = HubIO_SockObjectQueueNextObject(queue, &record);
    if (got == 1) {
      messages.push_back(
          {record->messageType, std::string(record->data ? record->data : "", record->dataLength)});
      HubIO_FreeSockObject(record);
    } else if (got < 0 || queue->disconnected) {
      if (!closed) close(writer);
      return messages;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::InitializeHubQuietly();
  const std::string stream(reinterpret_cast<const char*>(data), size);
  std::vector<Message> expected;
  const End end = ModelMessages(stream, &expected);

  int sockets[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) == 0);
  HubIO_SockObjectQueue* queue = HubIO_CreateSockObjectQueue(
      sockets[1], HUBIO_CONNECTION_QUEUE_SIZE, HUBIO_CONNECTION_QUEUE_SIZE);
  queue->maxMessageLength = HUBIO_MAX_HUB_MESSAGE_LENGTH;  // as on a link to a hub
  FUZZ_CHECK(ReadThroughQueue(stream, sockets[0], queue) == expected);
  FUZZ_CHECK(queue->disconnected == (end == End::kDisconnected));
  if (end == End::kProtocolError) FUZZ_CHECK(queue->error == HUBIO_PROTOCOL_ERROR);
  if (end == End::kClosed) FUZZ_CHECK(queue->error == HUBUTIL_PEER_CLOSED_ERROR);
  HubIO_DestroySockObjectQueue(queue);
  close(sockets[1]);
  return 0;
}
