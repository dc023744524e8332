// Frames and objects to and from socket messages: the encoded element is the
// data block of one message of an object queue; readers pick the frames they
// want with a filter and leave the rest to other readers.
#pragma once
#include <cstdint>

#include "libhub/frames/Frame.h"
#include "libhub/io/SockQueue.h"

// A message record of the type holding the encoded frame; null after the
// warning "Couldn't encode frame into XDR string" when it cannot be encoded.
HubIO_SockObject* HubIO_FrameToSockObject(const Hub_Frame* frame, int32_t messageType);
// Encodes the frame, queues it and flushes once: -1 when it cannot be encoded
// (nothing is sent) or on a socket error, 1 while still queued, 0 when written.
int HubIO_WriteFrame(HubIO_SockObjectQueue* queue, const Hub_Frame* frame, int32_t messageType);

// The oldest complete message, decoded: 1 with the raw value, type code and
// size (Xdr.h; the caller owns the value) and its message type (when asked
// for); 0 when none is there; -1 on a read error or data that does not decode.
int HubIO_ReadObject(HubIO_SockObjectQueue* queue, uintptr_t* value, int32_t* type, int32_t* size,
                     int32_t* messageType);

// Accepts new message frames (message type 1).
int HubIO_NewMessageFilter(int32_t messageType, void* value, int32_t size, int32_t elementType,
                           void* data);
// Accepts reply, destroy and error frames (message types 2, 3, 6). `data`
// points to the wanted transaction index (int32_t): -1 takes any; otherwise
// only a frame whose ":hub_opaque_data" frame holds that integer ":server_tidx".
int HubIO_ReplyFilter(int32_t messageType, void* value, int32_t size, int32_t elementType,
                      void* data);

// HubIO_SockObjectQueueReadFrame with the new-message filter.
int HubIO_ReadNewMessage(HubIO_SockObjectQueue* queue, Hub_Frame** frame, int blocking);
// HubIO_SockObjectQueueReadFrame with the reply filter for the wanted index.
int HubIO_ReadReplyFrame(HubIO_SockObjectQueue* queue, Hub_Frame** frame, int32_t* messageType,
                         int32_t wantedIndex, int blocking);
