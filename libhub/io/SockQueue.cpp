#include "libhub/io/SockQueue.h"

#include <rpc/xdr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libhub/io/Xdr.h"
#include "libhub/util/Mutex.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "libhub/util/ValueQueue.h"

namespace {

const char* const kLocation = "libhub/io/sockqueue";

const char* const kMessageTypeNames[] = {
    "HUB_OBJECT_MSG_TYPE",  "HUB_MESSAGE_MSG_TYPE",      "HUB_REPLY_MSG_TYPE",
    "HUB_DESTROY_MSG_TYPE", "HUB_BROKER_START_MSG_TYPE", "HUB_BROKER_END_MSG_TYPE",
    "HUB_ERROR_MSG_TYPE",   "HUB_DISCONNECT_MSG_TYPE",   "HUB_POSTPONE_MSG_TYPE",
};

// ---- the queue lock, taken without waiting; a cancelled holder releases it ----

bool TryLock(HubIO_SockObjectQueue* queue) {
  if (HubUtil_TryLockMutex(queue->lock) != 0) return false;
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, queue->lock);
  return true;
}

void Unlock(HubIO_SockObjectQueue* queue) {
  HubUtil_ThreadPopCleanup(0);
  HubUtil_UnlockMutex(queue->lock);
}

// ---- byte queue ----

void TraceContents(const char* bytes, int32_t count) {
  if (HubUtil_GetVerbosity() < 6) return;
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 32 || byte > 126) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\%.3o", byte);
      text += escaped;
    } else {
      text += static_cast<char>(byte);
    }
  }
  HubUtil_PrintDeepTrace("Queue contents: %s\n", text.c_str());
}

char* AllocateBuffer(int32_t capacity, const char* message) {
  auto* bytes = static_cast<char*>(malloc(capacity > 0 ? capacity : 1));
  HubUtil_Assert(bytes != nullptr, message);
  return bytes;
}

// Output that would pass the limit: the peer reads nothing, so the queue
// stops taking any.
int FailFullOutput(HubIO_SockQueue* queue) {
  queue->error = HUBIO_OUTPUT_FULL_ERROR;
  HubUtil_PrintWarningAt(kLocation,
                         "More than %d bytes of output wait for the peer on socket %d, which "
                         "reads nothing; dropping the connection",
                         queue->outLimit, queue->socket);
  return -1;
}

// Puts the socket in the mode wanted unless the queue already did.
void SetSocketMode(HubIO_SockQueue* queue, bool blocking) {
  if (queue->socket == HUBUTIL_INVALID_SOCKET) return;  // the send or receive reports it
  if (queue->modeSocket == queue->socket && (queue->socketBlocking != 0) == blocking) return;
  int failed = blocking ? HubUtil_SetBlocking(queue->socket) : HubUtil_SetNonBlocking(queue->socket);
  queue->modeSocket = failed ? HUBUTIL_INVALID_SOCKET : queue->socket;
  queue->socketBlocking = blocking;
}

// ---- message records ----

HubIO_SockObject* NewRecord() {
  auto* record = static_cast<HubIO_SockObject*>(calloc(1, sizeof(HubIO_SockObject)));
  HubUtil_Assert(record != nullptr, "Error alloc'ing a socket object");
  record->bytesWanted = HUBIO_HEADER_SIZE;
  record->cursor = record->header;
  return record;
}

void FreeRecordValue(void* record) { HubIO_FreeSockObject(static_cast<HubIO_SockObject*>(record)); }

void FreeDeferred(void* value) {
  auto* entry = static_cast<HubIO_DeferredMessage*>(value);
  Hub_DestroyFrame(entry->frame);
  HubIO_FreeSockObject(entry->record);
  free(entry);
}

void DrainQueue(Hub_ValueQueue* queue, Hub_ValueFree freeValue) {
  while (void* value = Hub_ValueQueueTakeFirst(queue)) freeValue(value);
}

std::string HeaderHex(const HubIO_SockObject* record) {
  char text[2 * HUBIO_HEADER_SIZE + 1];
  for (int i = 0; i < HUBIO_HEADER_SIZE; ++i) {
    snprintf(text + 2 * i, 3, "%02x", static_cast<unsigned char>(record->header[i]));
  }
  return text;
}

// ---- reading ----

// A malformed header: the queue stops reading for good.
int FailQueue(HubIO_SockObjectQueue* queue) {
  queue->error = queue->byteQueue->error = HUBIO_PROTOCOL_ERROR;
  HubIO_FreeSockObject(queue->currentInput);
  queue->currentInput = nullptr;
  return -1;
}

// The header of the current input record is complete: 1 when its data follows
// (or it has none), 0 for a disconnect, -1 for a malformed header.
int StartData(HubIO_SockObjectQueue* queue, HubIO_SockObject* record) {
  record->header[HUBIO_HEADER_SIZE] = '\0';
  XDR stream;
  xdrmem_create(&stream, record->header, HUBIO_HEADER_SIZE, XDR_DECODE);
  bool decoded = xdr_int(&stream, &record->messageType) && xdr_int(&stream, &record->dataLength);
  xdr_destroy(&stream);
  if (!decoded) {
    HubUtil_PrintWarningAt(kLocation, "Found invalid header %s while reading from queue",
                           HeaderHex(record).c_str());
    return FailQueue(queue);
  }
  HubUtil_PrintTrace("Reading object of type %s, data length %d\n",
                     HubIO_MessageTypeName(record->messageType), record->dataLength);
  if (record->messageType == HUB_DISCONNECT_MSG_TYPE) {
    HubIO_FreeSockObject(record);
    queue->currentInput = nullptr;
    queue->disconnected = 1;
    return 0;
  }
  if (record->dataLength < 0) {
    HubUtil_PrintWarningAt(kLocation, "atoi(%s) < 0", HeaderHex(record).c_str());
    return FailQueue(queue);
  }
  if (record->dataLength > queue->maxMessageLength) {
    HubUtil_PrintWarningAt(kLocation, "Found invalid header %s while reading from queue",
                           HeaderHex(record).c_str());
    return FailQueue(queue);
  }
  if (record->dataLength > 0) {
    record->data = static_cast<char*>(calloc(record->dataLength + 1, 1));
    HubUtil_Assert(record->data != nullptr, "Error alloc'ing data of a socket object");
    record->cursor = record->data;
    record->bytesWanted = record->dataLength;
  }
  return 1;
}

// Cuts the held input bytes into messages: 0, or -1 for a malformed header.
int CutMessages(HubIO_SockObjectQueue* queue) {
  HubIO_SockQueue* bytes = queue->byteQueue;
  while (bytes->inLength > 0 && !queue->disconnected) {
    if (!queue->currentInput) queue->currentInput = NewRecord();
    HubIO_SockObject* record = queue->currentInput;
    int32_t taken = HubIO_SockQueueTake(bytes, record->cursor, record->bytesWanted);
    record->cursor += taken;
    record->bytesDone += taken;
    record->bytesWanted -= taken;
    if (record->bytesWanted > 0) continue;
    if (record->bytesDone == HUBIO_HEADER_SIZE) {
      int started = StartData(queue, record);
      if (started < 0) return -1;
      if (started == 0) return 0;
    }
    if (record->bytesDone == HUBIO_HEADER_SIZE + record->dataLength) {
      Hub_ValueQueueAppend(queue->input, record);
      queue->currentInput = nullptr;
    }
  }
  return 0;
}

int ReadLocked(HubIO_SockObjectQueue* queue) {
  if (!queue->disconnected) {
    HubIO_SockQueue* bytes = queue->byteQueue;
    // A queued complete message is never held up by a read that waits.
    int32_t blocking = bytes->blockingRead;
    if (Hub_ValueQueueHasItems(queue->input)) bytes->blockingRead = 0;
    int filled = HubIO_SockQueueFill(bytes);
    bytes->blockingRead = blocking;
    if (filled < 0) {
      if (!queue->error) {
        HubUtil_PrintWarningAt(kLocation, "Encountered socket error while reading from queue");
      }
      queue->error = bytes->error;
      return -1;
    }
    if (CutMessages(queue) < 0) return -1;
  }
  return Hub_ValueQueueHasItems(queue->input) ? 1 : 0;
}

int NextObjectLocked(HubIO_SockObjectQueue* queue, HubIO_SockObject** record) {
  int read = ReadLocked(queue);
  // Messages completed before a failure are still handed out.
  *record = static_cast<HubIO_SockObject*>(Hub_ValueQueueTakeFirst(queue->input));
  if (*record) return 1;
  return read < 0 ? -1 : 0;
}

// ---- writing ----

// Appends the rest of a record to the output buffer, piece by piece.
int AppendRecord(HubIO_SockObjectQueue* queue, HubIO_SockObject* record) {
  HubIO_SockQueue* bytes = queue->byteQueue;
  if (record->bytesDone == 0) {
    record->cursor = record->header;
    record->bytesWanted = HUBIO_HEADER_SIZE;
    HubUtil_PrintTrace("Writing object of type %s, data length %d\n",
                       HubIO_MessageTypeName(record->messageType), record->dataLength);
  }
  while (record->bytesDone < HUBIO_HEADER_SIZE + record->dataLength) {
    if (HubIO_SockQueueAppend(bytes, record->cursor, record->bytesWanted) < 0) {
      queue->error = bytes->error;
      HubUtil_PrintWarningAt(kLocation, "Write queue too full / socket error %s",
                             HubUtil_SocketErrorText(queue->error));
      return -1;
    }
    record->bytesDone += record->bytesWanted;
    record->cursor = record->data;
    record->bytesWanted = record->dataLength;
  }
  return 0;
}

int FlushLocked(HubIO_SockObjectQueue* queue) {
  for (;;) {
    if (!queue->currentOutput) {
      queue->currentOutput = static_cast<HubIO_SockObject*>(Hub_ValueQueueTakeFirst(queue->output));
    }
    if (!queue->currentOutput) break;
    if (AppendRecord(queue, queue->currentOutput) < 0) return -1;
    HubIO_FreeSockObject(queue->currentOutput);
    queue->currentOutput = nullptr;
  }
  HubIO_SockQueue* bytes = queue->byteQueue;
  int flushed = HubIO_SockQueueFlush(bytes);
  if (flushed >= 0) return flushed == 1 || Hub_ValueQueueHasItems(queue->output) ? 1 : 0;
  queue->error = bytes->error;
  if (bytes->socket == HUBUTIL_INVALID_SOCKET) return 1;
  HubUtil_PrintWarningAt(kLocation, "Encountered socket error (%d) %s while writing to queue",
                         queue->error, HubUtil_SocketErrorText(queue->error));
  return -1;
}

// ---- reading frames ----

struct FilterCall {
  HubIO_MessageFilter filter;
  void* data;
};

int Accepts(const FilterCall* call, const HubIO_DeferredMessage* entry) {
  return !call->filter || call->filter(entry->record->messageType, entry->frame, entry->size,
                                       entry->elementType, call->data);
}

int AcceptsDeferred(void* entry, void* call) {
  return Accepts(static_cast<FilterCall*>(call), static_cast<HubIO_DeferredMessage*>(entry));
}

// What one read of new data gave.
enum NewFrame { kReadFailed = -1, kNothing = 0, kAccepted = 1, kDeferred = 2 };

// Under the lock: the next complete message, decoded; a frame the filter
// rejects goes to the deferred list.
NewFrame ReadNewFrame(HubIO_SockObjectQueue* queue, const FilterCall* call, int blocking,
                      HubIO_DeferredMessage** found) {
  HubIO_SockQueue* bytes = queue->byteQueue;
  int32_t savedBlocking = bytes->blockingRead;
  bytes->blockingRead = blocking;
  HubIO_SockObject* record = nullptr;
  int next = NextObjectLocked(queue, &record);
  bytes->blockingRead = savedBlocking;
  if (next < 0) {
    HubUtil_PrintWarningAt(kLocation, "Couldn't read from connection queue due to socket error");
    return kReadFailed;
  }
  if (next == 0) return kNothing;
  int32_t type = 0;
  uintptr_t value = 0;
  int32_t size = 0;
  if (!HubIO_DecodeElement(record->data, record->dataLength, &type, &value, &size)) {
    HubUtil_PrintWarningAt(kLocation, "Couldn't decode XDR string");
    HubIO_FreeSockObject(record);
    return kReadFailed;
  }
  if (type != HUB_FRAME) {
    HubUtil_PrintWarningAt(kLocation,
                           "Found object of type %s instead of frame while decoding XDR string",
                           Hub_TypeCodeName(type));
    HubIO_FreeElement(type, value, size);
    HubIO_FreeSockObject(record);
    return kReadFailed;
  }
  auto* entry = static_cast<HubIO_DeferredMessage*>(malloc(sizeof(HubIO_DeferredMessage)));
  HubUtil_Assert(entry != nullptr, "Error alloc'ing a deferred message");
  *entry = {record, reinterpret_cast<Hub_Frame*>(value), HUB_FRAME, 1};
  if (!Accepts(call, entry)) {
    FilterCall keep{queue->keepDeferred, queue->keepData};
    if (Accepts(&keep, entry)) {
      Hub_ValueQueueAppend(queue->deferred, entry);
    } else {
      const char* name = Hub_FrameName(entry->frame);
      HubUtil_PrintWarningAt(kLocation, "Dropping %s frame %s: no reader takes it",
                             HubIO_MessageTypeName(record->messageType), name ? name : "NO_NAME");
      FreeDeferred(entry);
    }
    return kDeferred;
  }
  *found = entry;
  return kAccepted;
}

}  // namespace

const char* HubIO_MessageTypeName(int32_t type) {
  return type >= HUB_OBJECT_MSG_TYPE && type <= HUB_POSTPONE_MSG_TYPE ? kMessageTypeNames[type]
                                                                      : "<unknown>";
}

// ---- byte queue ----

HubIO_SockQueue* HubIO_CreateSockQueue(HubUtil_Socket socket, int32_t inCapacity,
                                       int32_t outCapacity) {
  const char* message = "Error alloc'ing in _HubIO_CreateSockQueue";
  auto* queue = static_cast<HubIO_SockQueue*>(calloc(1, sizeof(HubIO_SockQueue)));
  HubUtil_Assert(queue != nullptr, message);
  queue->socket = socket;
  queue->modeSocket = HUBUTIL_INVALID_SOCKET;
  queue->in = AllocateBuffer(inCapacity, message);
  queue->inCapacity = inCapacity > 0 ? inCapacity : 1;
  queue->out = AllocateBuffer(outCapacity, message);
  queue->outCapacity = outCapacity > 0 ? outCapacity : 1;
  return queue;
}

void HubIO_DestroySockQueue(HubIO_SockQueue* queue) {
  if (!queue) return;
  free(queue->in);
  free(queue->out);
  free(queue);
}

int HubIO_SockQueueFill(HubIO_SockQueue* queue) {
  if (!queue) {
    HubUtil_PrintWarningAt(kLocation, "No queue to read from");
    return -1;
  }
  if (queue->error) return -1;
  if (queue->inLength >= queue->inCapacity) return 1;
  SetSocketMode(queue, queue->blockingRead != 0);
  if (queue->blockingRead) HubUtil_PrintFlush();
  long received = HubUtil_Receive(queue->socket, queue->in + queue->inLength,
                                  queue->inCapacity - queue->inLength);
  if (received > 0) {
    HubUtil_PrintTrace("%s: receive queue: %d bytes read\n", "HubIO_SockQueueFill",
                       static_cast<int>(received));
    TraceContents(queue->in + queue->inLength, static_cast<int32_t>(received));
    queue->inLength += static_cast<int32_t>(received);
    return 1;
  }
  int error = HubUtil_SocketError();
  if (received == 0) {
    queue->error = HUBUTIL_PEER_CLOSED_ERROR;
    HubUtil_PrintWarningAt(kLocation,
                           "Socket error: connection disrupted or closed (errno = %d, "
                           "q->in_len = %d)\n",
                           error, queue->inLength);
    return -1;
  }
  if (HubUtil_SocketErrorWouldBlock(error)) return queue->inLength > 0 ? 1 : 0;
  queue->error = error;
  HubUtil_PrintWarningAt(kLocation, "Encountered socket error %d (%d) while reading from queue",
                         error, queue->socket);
  return -1;
}

int HubIO_SockQueueFlush(HubIO_SockQueue* queue) {
  if (!queue) {
    HubUtil_PrintWarningAt(kLocation, "No queue to write to");
    return -1;
  }
  if (queue->socket == HUBUTIL_INVALID_SOCKET) return queue->outLength > 0 ? 1 : 0;
  if (queue->error) return -1;
  if (queue->outLength == 0) return 0;
  HubUtil_PrintDeepTrace("%s: send queue: %d\n", "HubIO_SockQueueFlush", queue->outLength);
  TraceContents(queue->out, queue->outLength);
  SetSocketMode(queue, false);
  long sent = HubUtil_Send(queue->socket, queue->out, queue->outLength);
  if (sent > 0) {
    HubUtil_PrintTrace("%s: send queue: %d bytes written\n", "HubIO_SockQueueFlush",
                       static_cast<int>(sent));
    queue->outLength -= static_cast<int32_t>(sent);
    memmove(queue->out, queue->out + sent, queue->outLength);
    return queue->outLength > 0 ? 1 : 0;
  }
  if (sent == 0) {
    queue->error = HUBUTIL_PEER_CLOSED_ERROR;
    HubUtil_PrintWarningAt(kLocation, "Encountered socket error %s while writing to queue",
                           HubUtil_SocketErrorText(HUBUTIL_PEER_CLOSED_ERROR));
    return -1;
  }
  int error = HubUtil_SocketError();
  if (HubUtil_SocketErrorWouldBlock(error)) return queue->outLength > 0 ? 1 : 0;
  queue->error = error;
  HubUtil_PrintWarningAt(kLocation, "Encountered socket error %d (%d) while writing to queue",
                         error, queue->socket);
  return -1;
}

int HubIO_SockQueueAppend(HubIO_SockQueue* queue, const char* bytes, int32_t count) {
  if (queue->error || count < 0) return -1;
  int64_t needed = static_cast<int64_t>(queue->outLength) + count;
  int64_t most = queue->outLimit > 0 ? queue->outLimit : INT32_MAX;
  if (needed > most) return queue->outLimit > 0 ? FailFullOutput(queue) : -1;
  if (needed > queue->outCapacity) {
    int64_t capacity = 2 * static_cast<int64_t>(queue->outCapacity);
    if (capacity < needed) capacity = needed;
    if (capacity > most) capacity = most;
    auto* grown = static_cast<char*>(realloc(queue->out, capacity));
    if (!grown) HubUtil_PrintFatal("%s: failed to resize queue", "HubIO_SockQueueAppend");
    queue->out = grown;
    queue->outCapacity = static_cast<int32_t>(capacity);
  }
  if (count > 0) memcpy(queue->out + queue->outLength, bytes, count);
  queue->outLength += count;
  return 0;
}

int32_t HubIO_SockQueueTake(HubIO_SockQueue* queue, char* target, int32_t count) {
  int32_t taken = count < queue->inLength ? count : queue->inLength;
  if (taken <= 0) return 0;
  if (target) memcpy(target, queue->in, taken);
  queue->inLength -= taken;
  memmove(queue->in, queue->in + taken, queue->inLength);
  return taken;
}

// ---- message records ----

HubIO_SockObject* HubIO_MakeSockObject(char* data, int32_t messageType, int32_t dataLength,
                                       int adopt) {
  if (dataLength < 0) {
    HubUtil_PrintWarningAt(kLocation, "Found invalid data size %d < 0 while creating socket object",
                           dataLength);
    if (adopt) free(data);
    return nullptr;
  }
  // Without data the header announces none: a length with nothing behind it
  // would make the peer take the next messages for this one's data.
  if (!data) dataLength = 0;
  HubIO_SockObject* record = NewRecord();
  XDR stream;
  xdrmem_create(&stream, record->header, HUBIO_HEADER_SIZE, XDR_ENCODE);
  bool encoded = xdr_int(&stream, &messageType) && xdr_int(&stream, &dataLength);
  xdr_destroy(&stream);
  if (!encoded) {
    HubUtil_PrintWarningAt(kLocation, "Couldn't encode XDR header");
    if (adopt) free(data);
    free(record);
    return nullptr;
  }
  record->messageType = messageType;
  if (data && dataLength > 0) {
    record->dataLength = dataLength;
    if (adopt) {
      record->data = data;
    } else {
      record->data = static_cast<char*>(malloc(dataLength + 1));
      HubUtil_Assert(record->data != nullptr, "Error alloc'ing data of a socket object");
      memcpy(record->data, data, dataLength);
      record->data[dataLength] = '\0';
    }
  } else if (adopt) {
    free(data);
  }
  return record;
}

void HubIO_FreeSockObject(HubIO_SockObject* record) {
  if (!record) return;
  free(record->data);
  free(record);
}

// ---- object queue ----

HubIO_SockObjectQueue* HubIO_CreateSockObjectQueue(HubUtil_Socket socket, int32_t inCapacity,
                                                   int32_t outCapacity) {
  auto* queue = static_cast<HubIO_SockObjectQueue*>(calloc(1, sizeof(HubIO_SockObjectQueue)));
  HubUtil_Assert(queue != nullptr, "Error malloc'ing in _HubIO_CreateSockObjectQueue");
  queue->byteQueue = HubIO_CreateSockQueue(socket, inCapacity, outCapacity);
  queue->input = Hub_ValueQueueCreate(0, 1, FreeRecordValue);
  queue->output = Hub_ValueQueueCreate(0, 1, FreeRecordValue);
  queue->deferred = Hub_ValueQueueCreate(0, 1, FreeDeferred);
  queue->lock = HubUtil_CreateLocalMutex();
  queue->ownsRecords = 1;
  queue->maxMessageLength = HUBIO_MAX_MESSAGE_LENGTH;
  return queue;
}

void HubIO_SockObjectQueueSetSocket(HubIO_SockObjectQueue* queue, HubUtil_Socket socket) {
  queue->byteQueue->socket = socket;
  queue->byteQueue->modeSocket = HUBUTIL_INVALID_SOCKET;
}

void HubIO_SockObjectQueueReset(HubIO_SockObjectQueue* queue) {
  HubUtil_LockMutex(queue->lock);
  HubIO_FreeSockObject(queue->currentInput);
  HubIO_FreeSockObject(queue->currentOutput);
  queue->currentInput = queue->currentOutput = nullptr;
  DrainQueue(queue->input, FreeRecordValue);
  DrainQueue(queue->output, FreeRecordValue);
  DrainQueue(queue->deferred, FreeDeferred);
  HubIO_SockQueue* bytes = queue->byteQueue;
  bytes->inLength = bytes->outLength = 0;
  bytes->error = 0;
  bytes->socket = bytes->modeSocket = HUBUTIL_INVALID_SOCKET;
  queue->error = 0;
  queue->disconnected = 0;
  HubUtil_UnlockMutex(queue->lock);
}

void HubIO_DestroySockObjectQueue(HubIO_SockObjectQueue* queue) {
  if (!queue) return;
  HubIO_SockObjectQueueReset(queue);
  Hub_ValueQueueDestroy(queue->input);
  Hub_ValueQueueDestroy(queue->output);
  Hub_ValueQueueDestroy(queue->deferred);
  HubIO_DestroySockQueue(queue->byteQueue);
  HubUtil_DestroyLocalMutex(queue->lock);
  free(queue);
}

int HubIO_SockObjectQueueSend(HubIO_SockObjectQueue* queue, HubIO_SockObject* record) {
  if (!queue || !record) {
    HubIO_FreeSockObject(record);
    return HubIO_SockObjectQueueFlush(queue);  // warns about a missing queue
  }
  Hub_ValueQueueAppend(queue->output, record);
  return HubIO_SockObjectQueueFlush(queue);
}

int HubIO_SockObjectQueueFlush(HubIO_SockObjectQueue* queue) {
  if (!queue || !queue->byteQueue) {
    HubUtil_PrintWarningAt(kLocation, "No queue to write to");
    return -1;
  }
  if (!TryLock(queue)) return 1;
  int result = FlushLocked(queue);
  Unlock(queue);
  return result;
}

int HubIO_SockObjectQueueRead(HubIO_SockObjectQueue* queue) {
  if (!TryLock(queue)) return 0;
  int result = ReadLocked(queue);
  Unlock(queue);
  return result;
}

int HubIO_SockObjectQueueNextObject(HubIO_SockObjectQueue* queue, HubIO_SockObject** record) {
  *record = nullptr;
  if (!TryLock(queue)) return 0;
  int result = NextObjectLocked(queue, record);
  Unlock(queue);
  return result;
}

int HubIO_SockObjectQueueReadFrame(HubIO_SockObjectQueue* queue, Hub_Frame** frame,
                                   int32_t* messageType, HubIO_MessageFilter filter,
                                   void* filterData, int blocking) {
  *frame = nullptr;
  FilterCall call{filter, filterData};
  HubIO_DeferredMessage* found = nullptr;
  bool held = false;
  bool heldThroughLastPass = false;
  int result = 0;
  for (;;) {
    if (!held) held = TryLock(queue);
    // While this thread holds the lock nobody else defers a frame, so the
    // deferred list needs a look only when the lock was not held before.
    if (!heldThroughLastPass) {
      found = static_cast<HubIO_DeferredMessage*>(
          Hub_ValueQueueTakeMatching(queue->deferred, AcceptsDeferred, &call));
    }
    if (!found && held) {
      NewFrame got = ReadNewFrame(queue, &call, blocking, &found);
      if (got == kReadFailed) {
        result = -1;
        break;
      }
      if (got == kNothing && blocking && queue->disconnected) {
        HubUtil_PrintWarningAt(kLocation,
                               "Couldn't read from connection queue due to socket error");
        result = -1;
        break;
      }
    }
    if (found || !blocking) break;
    if (!held) HubUtil_SleepMillis(1);
    heldThroughLastPass = held;
  }
  if (held) Unlock(queue);
  if (!found) return result;
  *frame = found->frame;
  if (messageType) *messageType = found->record->messageType;
  HubIO_FreeSockObject(found->record);
  free(found);
  return 1;
}

int HubIO_SockObjectQueueInputPending(HubIO_SockObjectQueue* queue) {
  return Hub_ValueQueueHasItems(queue->input) || Hub_ValueQueueHasItems(queue->deferred) ? 1 : 0;
}

int HubIO_SockObjectQueueHolds(HubIO_SockObjectQueue* queue, int32_t messageType) {
  if (Hub_ValueQueueHasItems(queue->input)) return 1;
  if (!Hub_ValueQueueHasItems(queue->deferred)) return 0;
  struct Search {
    int32_t type;
    int found;
  } search{messageType, 0};
  // The walk stops at the first deferred message of the type.
  Hub_ValueQueueVisit(
      queue->deferred,
      [](void* value, void* argument) {
        auto* entry = static_cast<HubIO_DeferredMessage*>(value);
        auto* wanted = static_cast<Search*>(argument);
        wanted->found = entry->record && entry->record->messageType == wanted->type;
        return wanted->found ? 0 : 1;
      },
      &search);
  return search.found;
}

int HubIO_SockObjectQueueOutputPending(HubIO_SockObjectQueue* queue) {
  return queue->currentOutput || Hub_ValueQueueHasItems(queue->output) ||
                 queue->byteQueue->outLength > 0
             ? 1
             : 0;
}
