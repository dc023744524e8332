#include "libhub/io/BinaryIO.h"

#include <cstdlib>

#include "libhub/io/Xdr.h"
#include "libhub/util/Print.h"

namespace {

const char* const kLocation = "libhub/io/binary_io";

// The integer under the key, read without type warnings: false when absent or
// of another type.
bool IntProperty(const Hub_Frame* frame, const char* key, int32_t* number) {
  Hub_Object* object = Hub_GetFrameObject(frame, key);
  if (!Hub_IsIntObject(object)) return false;
  *number = static_cast<int32_t>(object->value);
  return true;
}

bool CarriesIndex(const Hub_Frame* frame, int32_t wanted) {
  Hub_Object* opaque = Hub_GetFrameObject(frame, ":hub_opaque_data");
  if (!Hub_IsFrameObject(opaque)) return false;
  int32_t index = 0;
  return IntProperty(reinterpret_cast<const Hub_Frame*>(opaque->value), ":server_tidx", &index) &&
         index == wanted;
}

}  // namespace

HubIO_SockObject* HubIO_FrameToSockObject(const Hub_Frame* frame, int32_t messageType) {
  int32_t length = 0;
  char* data = HubIO_EncodeFrame(frame, &length);
  if (!data || length == 0) {
    free(data);
    HubUtil_PrintWarningAt(kLocation, "Couldn't encode frame into XDR string");
    return nullptr;
  }
  return HubIO_MakeSockObject(data, messageType, length, 1);
}

int HubIO_WriteFrame(HubIO_SockObjectQueue* queue, const Hub_Frame* frame, int32_t messageType) {
  HubIO_SockObject* record = HubIO_FrameToSockObject(frame, messageType);
  if (!record) return -1;
  return HubIO_SockObjectQueueSend(queue, record);
}

int HubIO_ReadObject(HubIO_SockObjectQueue* queue, uintptr_t* value, int32_t* type, int32_t* size,
                     int32_t* messageType) {
  if (!value || !type || !size) {
    HubUtil_PrintWarningAt(kLocation, "No place to put result of decoding XDR string");
    return -1;
  }
  HubIO_SockObject* record = nullptr;
  int next = HubIO_SockObjectQueueNextObject(queue, &record);
  if (next <= 0) return next;
  int decoded = HubIO_DecodeElement(record->data, record->dataLength, type, value, size);
  if (messageType) *messageType = record->messageType;
  HubIO_FreeSockObject(record);
  if (!decoded) {
    HubUtil_PrintWarningAt(kLocation, "Couldn't decode object from XDR string");
    return -1;
  }
  return 1;
}

int HubIO_NewMessageFilter(int32_t messageType, void*, int32_t, int32_t elementType, void*) {
  return messageType == HUB_MESSAGE_MSG_TYPE && elementType == HUB_FRAME;
}

int HubIO_ReplyFilter(int32_t messageType, void* value, int32_t, int32_t elementType, void* data) {
  if (elementType != HUB_FRAME || !value) return 0;
  if (messageType != HUB_REPLY_MSG_TYPE && messageType != HUB_DESTROY_MSG_TYPE &&
      messageType != HUB_ERROR_MSG_TYPE) {
    return 0;
  }
  int32_t wanted = data ? *static_cast<int32_t*>(data) : -1;
  return wanted == -1 || CarriesIndex(static_cast<const Hub_Frame*>(value), wanted);
}

int HubIO_ReadNewMessage(HubIO_SockObjectQueue* queue, Hub_Frame** frame, int blocking) {
  return HubIO_SockObjectQueueReadFrame(queue, frame, nullptr, HubIO_NewMessageFilter, nullptr,
                                        blocking);
}

int HubIO_ReadReplyFrame(HubIO_SockObjectQueue* queue, Hub_Frame** frame, int32_t* messageType,
                         int32_t wantedIndex, int blocking) {
  return HubIO_SockObjectQueueReadFrame(queue, frame, messageType, HubIO_ReplyFilter, &wantedIndex,
                                        blocking);
}
