// Socket queues: how the hub protocol moves messages over one TCP socket.
//
// The byte queue (HubIO_SockQueue) keeps an input buffer of fixed capacity,
// filled from the socket, and an output buffer, drained into it, that doubles
// when it is too small. Sockets are non-blocking for every write, and for every
// read unless the blocking-read flag is set, so a partial read or write never
// waits on the peer. The queue remembers the mode it gave its socket and
// changes it only when a read or write wants the other one: whoever changes
// the mode of a queue's socket behind its back must give the queue its socket
// again (HubIO_SockObjectQueueSetSocket), which forgets the mode.
//
// The object queue (HubIO_SockObjectQueue) cuts the input into messages — an
// 8-byte header (XDR ints: message type, data length) and a data block of that
// length — keeps the complete ones in arrival order, writes queued messages
// out piece by piece, and lets a reader wait for the one frame it wants while
// parking the others (deferred) for other readers.
//
// A frame that the reader's filter rejects is parked for other readers unless
// the queue's keep filter (when set) says that no reader will ever take it:
// such a frame is dropped with a warning, so that unwanted frames neither
// pile up nor slow down later reads.
//
// Each object queue has one lock. Read, NextObject, Flush and ReadFrame take it
// without waiting (a thread cancelled inside releases it): when another thread
// holds it, Read and NextObject read nothing (0), Flush reports pending (1) and
// a blocking ReadFrame only takes frames out of the deferred list until it gets
// the lock. The message lists are value queues with locks of their own.
//
// A protocol violation (a negative data length, or one above the queue's
// largest, HUBIO_MAX_MESSAGE_LENGTH unless set lower) leaves the queue
// failed: its error is HUBIO_PROTOCOL_ERROR and every later read gives -1.
// Likewise output that would pass the byte queue's output limit (when one is
// set): the queue warns once, its error becomes HUBIO_OUTPUT_FULL_ERROR and
// every later write gives -1; an owner that sets a limit drops the connection
// then, since its peer reads nothing.
// Results: 1 / 0 / -1 as each function says; every failure is a warning.
#pragma once
#include <cerrno>
#include <cstdint>

#include "libhub/frames/Frame.h"
#include "libhub/util/Sock.h"

struct HubUtil_LocalMutex;
struct Hub_ValueQueue;

// The message types and the texts traces print for them.
enum HubIO_MessageType {
  HUB_OBJECT_MSG_TYPE = 0,   // one bare object (broker data)
  HUB_MESSAGE_MSG_TYPE = 1,  // a new message frame
  HUB_REPLY_MSG_TYPE = 2,    // the reply to a message
  HUB_DESTROY_MSG_TYPE = 3,  // a destroy request
  HUB_BROKER_START_MSG_TYPE = 4,
  HUB_BROKER_END_MSG_TYPE = 5,
  HUB_ERROR_MSG_TYPE = 6,       // an error frame
  HUB_DISCONNECT_MSG_TYPE = 7,  // the sender ends the stream; no data
  HUB_POSTPONE_MSG_TYPE = 8,
};

// The name of a message type ("HUB_REPLY_MSG_TYPE"), "<unknown>" for other codes.
const char* HubIO_MessageTypeName(int32_t type);

// Bytes of a message header, and the largest data length a queue accepts from
// a peer: hub connections carry frames, brokers bulk data.
constexpr int32_t HUBIO_HEADER_SIZE = 8;
constexpr int32_t HUBIO_MAX_MESSAGE_LENGTH = 64 * 1024 * 1024;
constexpr int32_t HUBIO_MAX_HUB_MESSAGE_LENGTH = 1024 * 1024;
// The most output a hub connection holds for its peer.
constexpr int32_t HUBIO_MAX_HUB_PENDING_OUTPUT = 64 * 1024 * 1024;
// The error of a queue that received a malformed header.
constexpr int32_t HUBIO_PROTOCOL_ERROR = EPROTO;
// The error of a queue whose output passed its limit.
constexpr int32_t HUBIO_OUTPUT_FULL_ERROR = ENOBUFS;
// Queue capacities of connections and of brokers.
constexpr int32_t HUBIO_CONNECTION_QUEUE_SIZE = 32768;
constexpr int32_t HUBIO_BROKER_QUEUE_SIZE = 131072;

struct HubIO_SockQueue {
  HubUtil_Socket socket;  // -1 while the queue has none
  int32_t error;          // 0, or the last socket error (32: the peer closed)
  char* in;
  int32_t inLength;
  int32_t inCapacity;  // fixed at creation
  char* out;
  int32_t outLength;
  int32_t outCapacity;   // grows to max(2 × capacity, needed), never above the limit
  int32_t outLimit;      // 0: none; else the most output bytes held
  int32_t blockingRead;  // 1: the next socket read waits for data
  // The socket whose mode the queue set last (-1: none) and that mode (1
  // blocking, 0 non-blocking).
  HubUtil_Socket modeSocket;
  int32_t socketBlocking;
};

// One message on its way in or out.
struct HubIO_SockObject {
  char header[HUBIO_HEADER_SIZE + 1];  // encoded, zero-terminated
  char* data;                          // owned; zero-terminated on input; null for length 0
  int32_t dataLength;
  int32_t messageType;
  int32_t bytesDone;    // header and data bytes moved so far
  int32_t bytesWanted;  // still to move in the current piece
  char* cursor;         // where the current piece continues
};

// Accepts a frame for a reader: non-zero takes it.
typedef int (*HubIO_MessageFilter)(int32_t messageType, void* value, int32_t size,
                                   int32_t elementType, void* data);

struct HubIO_SockObjectQueue {
  HubIO_SockQueue* byteQueue;  // owned
  int32_t error;               // copied from the byte queue
  int32_t disconnected;        // a disconnect message arrived: nothing more is read
  Hub_ValueQueue* input;       // complete incoming HubIO_SockObject records, oldest first
  Hub_ValueQueue* output;      // records waiting to be written, oldest first
  HubIO_SockObject* currentInput;
  HubIO_SockObject* currentOutput;
  HubUtil_LocalMutex* lock;
  Hub_ValueQueue* deferred;  // HubIO_DeferredMessage records, oldest first
  int32_t ownsRecords;       // always 1: written or handed-out records are freed by the queue
  int32_t maxMessageLength;  // the largest data length accepted
  // Frames no reader took are parked only when this accepts them (null:
  // always). Called under the queue's lock with `keepData`.
  HubIO_MessageFilter keepDeferred;
  void* keepData;
};

// A frame read by one reader and parked for another.
struct HubIO_DeferredMessage {
  HubIO_SockObject* record;  // owned
  Hub_Frame* frame;          // owned until handed out
  int32_t elementType;       // HUB_FRAME
  int32_t size;              // 1
};

// ---- byte queue ----

// A new byte queue with buffers of the capacities given (fatal when memory runs out).
HubIO_SockQueue* HubIO_CreateSockQueue(HubUtil_Socket socket, int32_t inCapacity,
                                       int32_t outCapacity);
void HubIO_DestroySockQueue(HubIO_SockQueue* queue);  // null is ignored
// Reads once from the socket into the free end of the input buffer: 1 when the
// buffer holds bytes, 0 when nothing came (non-blocking), -1 on an error (the
// peer closing stores 32).
int HubIO_SockQueueFill(HubIO_SockQueue* queue);
// Sends the output buffer once: 1 when bytes are still held, 0 when all went
// out, -1 on an error. Without a socket: 1 when bytes are held, else 0.
int HubIO_SockQueueFlush(HubIO_SockQueue* queue);
// Appends bytes to the output buffer, growing it: 0, or -1 when the queue has
// an error or the buffer cannot hold that much (passing the output limit
// fails the queue, with a warning).
int HubIO_SockQueueAppend(HubIO_SockQueue* queue, const char* bytes, int32_t count);
// Moves up to `count` held input bytes into `target` (dropped when null): the
// number moved.
int32_t HubIO_SockQueueTake(HubIO_SockQueue* queue, char* target, int32_t count);

// ---- message records ----

// A record with its header encoded. The data is adopted when `adopt` is set
// (and freed even when no record is made), else copied; null data or length 0
// gives no data (and a header of length 0). Null for a negative length.
HubIO_SockObject* HubIO_MakeSockObject(char* data, int32_t messageType, int32_t dataLength,
                                       int adopt);
void HubIO_FreeSockObject(HubIO_SockObject* record);  // null is ignored

// ---- object queue ----

HubIO_SockObjectQueue* HubIO_CreateSockObjectQueue(HubUtil_Socket socket, int32_t inCapacity,
                                                   int32_t outCapacity);
void HubIO_SockObjectQueueSetSocket(HubIO_SockObjectQueue* queue, HubUtil_Socket socket);
// Drops the current, queued and deferred messages, empties both buffers, clears
// the error and the disconnected flag and sets the socket to -1. Waits for the
// lock: a thread blocked reading must first be woken (shut the socket down).
void HubIO_SockObjectQueueReset(HubIO_SockObjectQueue* queue);
// Reset, then frees everything the queue owns. Null is ignored.
void HubIO_DestroySockObjectQueue(HubIO_SockObjectQueue* queue);

// Queues the record (the queue takes it) and flushes once: Flush's result.
int HubIO_SockObjectQueueSend(HubIO_SockObjectQueue* queue, HubIO_SockObject* record);
// Writes what it can: 1 while bytes or messages are pending, 0 when all is
// written, -1 on an error.
int HubIO_SockObjectQueueFlush(HubIO_SockObjectQueue* queue);
// Reads what the socket holds into complete messages: 1 when input messages
// exist, 0 when none, -1 on an error. With the blocking-read flag it waits for
// data only while no complete message is queued.
int HubIO_SockObjectQueueRead(HubIO_SockObjectQueue* queue);
// Read, then hands out the oldest complete message (the caller frees it): 1,
// 0 when none, -1 when none and the read failed.
int HubIO_SockObjectQueueNextObject(HubIO_SockObjectQueue* queue, HubIO_SockObject** record);

// One frame that the filter accepts (any frame without a filter), the first
// deferred one before anything new; rejected frames are deferred. 1 with the
// frame (the caller owns it) and its message type (when asked for); 0 without
// (non-blocking); -1 on an error, on data that is not a frame, and for a
// blocking read of a queue whose peer ended the stream.
int HubIO_SockObjectQueueReadFrame(HubIO_SockObjectQueue* queue, Hub_Frame** frame,
                                   int32_t* messageType, HubIO_MessageFilter filter,
                                   void* filterData, int blocking);
// 1 when complete or deferred input messages exist, else 0.
int HubIO_SockObjectQueueInputPending(HubIO_SockObjectQueue* queue);
// 1 when a complete input message waits undecoded, or a deferred one is of
// the message type; else 0. Reads without the queue's lock.
int HubIO_SockObjectQueueHolds(HubIO_SockObjectQueue* queue, int32_t messageType);
// 1 when messages or bytes wait to be written, else 0. Reads without the
// queue's lock.
int HubIO_SockObjectQueueOutputPending(HubIO_SockObjectQueue* queue);
