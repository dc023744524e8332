#include "libhub/io/Xdr.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Vlist.h"

namespace {

const char* const kLocation = "libhub/io/binary_io";

bool IsArrayType(int32_t type) { return type >= HUB_BINARY && type <= HUB_FLOAT_64; }

// ---- the primitives, in the one-argument shape that xdr_sizeof needs ----

struct TextArg {
  char* text;
};
struct BytesArg {
  char* bytes;
  u_int count;
};
struct ArrayArg {
  char* elements;
  u_int count;
  u_int elementSize;
  xdrproc_t element;
};

bool_t TextProc(XDR* stream, TextArg* arg) { return xdr_string(stream, &arg->text, UINT_MAX); }
bool_t BytesProc(XDR* stream, BytesArg* arg) {
  return xdr_bytes(stream, &arg->bytes, &arg->count, UINT_MAX);
}
bool_t ArrayProc(XDR* stream, ArrayArg* arg) {
  return xdr_array(stream, &arg->elements, &arg->count, UINT_MAX, arg->elementSize, arg->element);
}

// The array element routine of a type code, its size in memory and on the wire.
struct ArrayKind {
  xdrproc_t element;
  u_int memorySize;
  u_int wireSize;
};

bool ArrayKindOf(int32_t type, ArrayKind* kind) {
  switch (type) {
    case HUB_INT_16:
      *kind = {reinterpret_cast<xdrproc_t>(xdr_short), 2, 4};
      return true;
    case HUB_INT_32:
      *kind = {reinterpret_cast<xdrproc_t>(xdr_int), 4, 4};
      return true;
    case HUB_FLOAT_32:
      *kind = {reinterpret_cast<xdrproc_t>(xdr_float), 4, 4};
      return true;
    case HUB_FLOAT_64:
      *kind = {reinterpret_cast<xdrproc_t>(xdr_double), 8, 8};
      return true;
    default:
      return false;
  }
}

// ---- encoding ----

// A memory stream over a growing text buffer. Before each value is written its
// exact size is counted and room is made for it; when the buffer moves, the
// stream is made again over it at the same position.
class Encoder {
 public:
  Encoder() : buffer_(Hub_MakeTextBuffer(nullptr, 0)) {}
  ~Encoder() {
    if (open_) xdr_destroy(&stream_);
    Hub_DestroyByteBuffer(buffer_);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  template <typename Arg>
  bool Put(bool_t (*proc)(XDR*, Arg*), Arg* arg) {
    auto generic = reinterpret_cast<xdrproc_t>(proc);
    unsigned long size = xdr_sizeof(generic, arg);
    return size > 0 && size <= INT32_MAX && Room(static_cast<int32_t>(size)) && proc(&stream_, arg);
  }
  bool PutInt(int32_t value) { return Put<int>(xdr_int, &value); }
  bool PutText(const char* text) {
    if (!text) return false;
    TextArg arg{const_cast<char*>(text)};
    return Put(TextProc, &arg);
  }

  // The bytes written, in a new malloc'd block; null when nothing was written.
  char* Take(int32_t* length) {
    *length = 0;
    if (!open_) return nullptr;
    u_int written = xdr_getpos(&stream_);
    char* bytes = static_cast<char*>(malloc(written > 0 ? written : 1));
    if (!bytes) return nullptr;
    memcpy(bytes, buffer_->data, written);
    *length = static_cast<int32_t>(written);
    return bytes;
  }

 private:
  bool Room(int32_t size) {
    if (!buffer_) return false;
    u_int position = open_ ? xdr_getpos(&stream_) : 0;
    buffer_->size = static_cast<int32_t>(position);
    char* before = buffer_->data;
    int32_t capacityBefore = buffer_->capacity;
    if (!Hub_ByteBufferEnsure(buffer_, size)) return false;
    if (open_ && before == buffer_->data && capacityBefore == buffer_->capacity) return true;
    if (open_) xdr_destroy(&stream_);
    xdrmem_create(&stream_, buffer_->data, static_cast<u_int>(buffer_->capacity), XDR_ENCODE);
    open_ = true;
    return xdr_setpos(&stream_, position);
  }

  Hub_ByteBuffer* buffer_;
  XDR stream_{};
  bool open_ = false;
};

bool EncodeValue(Encoder& out, int32_t type, uintptr_t value, int32_t size);

// The raw value and size that an object's contents encode from.
void RawValueOf(const Hub_Object* object, uintptr_t* value, int32_t* size) {
  *value = object->value;
  *size = 1;
  if (object->type == HUB_LIST) {
    auto* buffer = reinterpret_cast<const Hub_PointerBuffer*>(object->value);
    *value = buffer ? reinterpret_cast<uintptr_t>(buffer->elements) : 0;
    *size = buffer ? buffer->count : 0;
  } else if (IsArrayType(object->type)) {
    auto* buffer = reinterpret_cast<const Hub_ByteBuffer*>(object->value);
    *value = buffer ? reinterpret_cast<uintptr_t>(buffer->data) : 0;
    *size = buffer ? Hub_ByteBufferElementCount(buffer) : 0;
  }
}

// An object inside a frame or list: its own type code, then its value.
bool EncodeObject(Encoder& out, const Hub_Object* object) {
  if (!object) return false;
  uintptr_t value = 0;
  int32_t size = 0;
  RawValueOf(object, &value, &size);
  return out.PutInt(object->type) && EncodeValue(out, object->type, value, size);
}

const Hub_VlistPair* PropertyAt(const Hub_Frame* frame, int32_t index) {
  return reinterpret_cast<const Hub_VlistPair*>(frame->properties->entries[index]);
}

int32_t PropertySlots(const Hub_Frame* frame) {
  return frame->properties ? frame->properties->count : 0;
}

// Properties without a value are neither written nor counted.
bool IsWritten(const Hub_VlistPair* pair) { return pair && pair->key && pair->value; }

bool EncodeFrame(Encoder& out, const Hub_Frame* frame) {
  if (!frame) return false;
  const char* name = Hub_FrameName(frame);
  int32_t written = 0;
  for (int32_t i = 0; i < PropertySlots(frame); ++i) written += IsWritten(PropertyAt(frame, i));
  if (!out.PutInt(frame->kind) || !out.PutText(name ? name : "") || !out.PutInt(written)) {
    return false;
  }
  for (int32_t i = 0; i < PropertySlots(frame); ++i) {
    const Hub_VlistPair* pair = PropertyAt(frame, i);
    if (!IsWritten(pair)) continue;
    if (!out.PutText(Hub_SymbolName(reinterpret_cast<Hub_Symbol>(pair->key))) ||
        !EncodeObject(out, reinterpret_cast<const Hub_Object*>(pair->value))) {
      return false;
    }
  }
  if (!out.PutInt(frame->predicateCount)) return false;
  for (int32_t i = 0; i < frame->predicateCount; ++i) {
    if (!EncodeObject(out, frame->predicates[i])) return false;
  }
  return true;
}

bool EncodeList(Encoder& out, Hub_Object* const* members, int32_t count) {
  if (count < 0 || (!members && count > 0) || !out.PutInt(count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (!EncodeObject(out, members[i])) return false;
  }
  return true;
}

bool EncodeArray(Encoder& out, int32_t type, void* elements, int32_t count) {
  if (count < 0 || (!elements && count > 0)) return false;
  if (type == HUB_BINARY) {
    BytesArg arg{static_cast<char*>(elements), static_cast<u_int>(count)};
    return out.Put(BytesProc, &arg);
  }
  ArrayKind kind{};
  ArrayKindOf(type, &kind);
  ArrayArg arg{static_cast<char*>(elements), static_cast<u_int>(count), kind.memorySize,
               kind.element};
  return out.Put(ArrayProc, &arg);
}

bool EncodeProxy(Encoder& out, const Hub_BrokerProxy* proxy) {
  return proxy && out.PutText(proxy->callId) && out.PutText(proxy->host) &&
         out.PutInt(proxy->port) && out.PutInt(proxy->objectType);
}

bool EncodeValue(Encoder& out, int32_t type, uintptr_t value, int32_t size) {
  void* pointer = reinterpret_cast<void*>(value);
  switch (type) {
    case HUB_FRAME:
      return EncodeFrame(out, static_cast<const Hub_Frame*>(pointer));
    case HUB_STRING:
    case HUB_TOKEN:
      return out.PutText(static_cast<const char*>(pointer));
    case HUB_INT:
      return out.PutInt(static_cast<int32_t>(value));
    case HUB_FLOAT:
      return pointer && out.Put<float>(xdr_float, static_cast<float*>(pointer));
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG:
      return pointer && out.PutText(Hub_SymbolName(static_cast<Hub_Symbol>(pointer)));
    case HUB_LIST:
      return EncodeList(out, static_cast<Hub_Object* const*>(pointer), size);
    case HUB_BINARY:
    case HUB_INT_16:
    case HUB_INT_32:
    case HUB_FLOAT_32:
    case HUB_FLOAT_64:
      return EncodeArray(out, type, pointer, size);
    case HUB_PROXY:
      return EncodeProxy(out, static_cast<const Hub_BrokerProxy*>(pointer));
    case HUB_FREE:
      HubUtil_PrintWarningAt(kLocation, "Can't encode XDR element of type HUB_FREE");
      return false;
    case HUB_INT_64:
      HubUtil_PrintWarningAt(kLocation, "Can't XDR encode type HUB_INT_64");
      return false;
    case HUB_PTR:
    case HUB_TOPIC_FRAME:
    case HUB_CLAUSE_FRAME:
    case HUB_PRED_FRAME:
      return false;
    default:
      HubUtil_PrintWarningAt(kLocation, "Can't XDR encode type %s", Hub_TypeCodeName(type));
      return false;
  }
}

// ---- decoding ----

// Bytes left in a memory stream (x_handy counts them down as they are read).
u_int BytesLeft(const XDR* stream) { return stream->x_handy; }

// The most members of `wireSize` bytes each that can follow a 4-byte count.
u_int MostAfterCount(const XDR* stream, u_int wireSize) {
  u_int left = BytesLeft(stream);
  return left < 4 ? 0 : (left - 4) / wireSize;
}

// A count just read, checked against the bytes left for members of at least
// `wireSize` bytes each.
bool ReadCount(XDR* stream, u_int wireSize, int32_t* count) {
  return xdr_int(stream, count) && *count >= 0 &&
         static_cast<u_int>(*count) <= BytesLeft(stream) / wireSize;
}

// A string of at most `limit` characters that fits in what is left (its
// padding included), as a new malloc'd text; null on failure.
char* ReadText(XDR* stream, u_int limit) {
  u_int fits = MostAfterCount(stream, 1) & ~3u;  // the padded length must fit too
  char* text = nullptr;
  if (!xdr_string(stream, &text, limit < fits ? limit : fits)) return nullptr;
  return text;
}

bool DecodeRaw(XDR* stream, int depth, int32_t* type, uintptr_t* value, int32_t* size);

Hub_Object* DecodeObjectAt(XDR* stream, int depth) {
  int32_t type = 0;
  uintptr_t value = 0;
  int32_t size = 0;
  if (!DecodeRaw(stream, depth, &type, &value, &size)) return nullptr;
  return HubIO_MakeElementObject(type, value, size);
}

bool DecodeProperty(XDR* stream, int depth, Hub_Frame* frame) {
  char* key = ReadText(stream, HUBIO_MAX_NAME_LENGTH);
  if (!key) return false;
  Hub_Object* object = DecodeObjectAt(stream, depth + 1);
  bool stored = object && Hub_SetFrameProperty(frame, key, object);
  if (object && !stored) Hub_DestroyObject(object);
  free(key);
  return stored;
}

// A predicate must be a frame of kind predicate; its object wrapper is given
// back once the frame is added.
bool DecodePredicate(XDR* stream, int depth, Hub_Frame* frame) {
  Hub_Object* object = DecodeObjectAt(stream, depth + 1);
  if (!object) return false;
  if (!Hub_IsFrameObject(object) ||
      !Hub_AddPredicate(frame, reinterpret_cast<Hub_Frame*>(object->value))) {
    Hub_DestroyObject(object);
    return false;
  }
  Hub_ReleaseObjectShallow(object);
  return true;
}

Hub_Frame* DecodeFrame(XDR* stream, int depth) {
  int32_t kind = 0;
  if (!xdr_int(stream, &kind)) return nullptr;
  char* name = ReadText(stream, HUBIO_MAX_NAME_LENGTH);
  if (!name) return nullptr;
  Hub_Frame* frame = Hub_MakeFrameOfKind(name, kind);
  free(name);
  if (!frame) return nullptr;
  int32_t count = 0;
  bool ok = ReadCount(stream, 8, &count);  // a key and a type code at least
  for (int32_t i = 0; ok && i < count; ++i) ok = DecodeProperty(stream, depth, frame);
  ok = ok && ReadCount(stream, 4, &count);
  for (int32_t i = 0; ok && i < count; ++i) ok = DecodePredicate(stream, depth, frame);
  if (ok) return frame;
  Hub_DestroyFrame(frame);
  return nullptr;
}

Hub_Object** DecodeList(XDR* stream, int depth, int32_t* count) {
  if (!ReadCount(stream, 4, count)) return nullptr;
  if (*count == 0) return nullptr;
  auto* members = static_cast<Hub_Object**>(calloc(*count, sizeof(Hub_Object*)));
  if (!members) return nullptr;
  for (int32_t i = 0; i < *count; ++i) {
    members[i] = DecodeObjectAt(stream, depth + 1);
    if (!members[i]) {
      for (int32_t j = 0; j < i; ++j) Hub_DestroyObject(members[j]);
      free(members);
      return nullptr;
    }
  }
  return members;
}

bool DecodeArray(XDR* stream, int32_t type, uintptr_t* value, int32_t* count) {
  char* elements = nullptr;
  u_int read = 0;
  bool ok;
  if (type == HUB_BINARY) {
    ok = xdr_bytes(stream, &elements, &read, MostAfterCount(stream, 1) & ~3u);
  } else {
    ArrayKind kind{};
    ArrayKindOf(type, &kind);
    ok = xdr_array(stream, &elements, &read, MostAfterCount(stream, kind.wireSize), kind.memorySize,
                   kind.element);
  }
  if (!ok || read > INT32_MAX) {
    free(elements);  // an array read part of the way stays allocated
    return false;
  }
  *value = reinterpret_cast<uintptr_t>(elements);
  *count = static_cast<int32_t>(read);
  return true;
}

Hub_BrokerProxy* DecodeProxy(XDR* stream) {
  char* callId = ReadText(stream, UINT_MAX);
  char* host = callId ? ReadText(stream, UINT_MAX) : nullptr;
  int32_t port = 0;
  int32_t objectType = 0;
  Hub_BrokerProxy* proxy = nullptr;
  if (host && xdr_int(stream, &port) && xdr_int(stream, &objectType)) {
    proxy = Hub_CreateBrokerProxy(host, port, callId, objectType, nullptr);
  }
  free(callId);
  free(host);
  return proxy;
}

bool DecodeValue(XDR* stream, int depth, int32_t type, uintptr_t* value, int32_t* size) {
  *size = 1;
  switch (type) {
    case HUB_FRAME:
      *value = reinterpret_cast<uintptr_t>(DecodeFrame(stream, depth));
      break;
    case HUB_STRING:
    case HUB_TOKEN: {
      char* text = ReadText(stream, UINT_MAX);
      *value = reinterpret_cast<uintptr_t>(text);
      *size = text ? static_cast<int32_t>(strlen(text)) : 0;
      break;
    }
    case HUB_INT: {
      int32_t number = 0;
      if (!xdr_int(stream, &number)) return false;
      *value = static_cast<uintptr_t>(static_cast<intptr_t>(number));
      return true;
    }
    case HUB_FLOAT: {
      auto* number = static_cast<float*>(malloc(sizeof(float)));
      if (number && !xdr_float(stream, number)) {
        free(number);
        number = nullptr;
      }
      *value = reinterpret_cast<uintptr_t>(number);
      break;
    }
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG: {
      char* name = ReadText(stream, HUBIO_MAX_NAME_LENGTH);
      *value = reinterpret_cast<uintptr_t>(name ? Hub_Intern(name) : nullptr);
      free(name);
      break;
    }
    case HUB_LIST: {
      int32_t count = -1;
      *value = reinterpret_cast<uintptr_t>(DecodeList(stream, depth, &count));
      *size = count;
      return *value || count == 0;
    }
    case HUB_PROXY:
      *value = reinterpret_cast<uintptr_t>(DecodeProxy(stream));
      break;
    default:
      return DecodeArray(stream, type, value, size);
  }
  return *value != 0;
}

bool Decodable(int32_t type) {
  if (type < HUB_FRAME || type > HUB_PROXY || (type >= HUB_PTR && type <= HUB_PRED_FRAME)) {
    HubUtil_PrintWarningAt(kLocation, "Can't XDR decode type %s", Hub_TypeCodeName(type));
    return false;
  }
  if (type == HUB_INT_64) {
    HubUtil_PrintWarningAt(kLocation, "Can't XDR decode type HUB_INT_64");
    return false;
  }
  return true;
}

bool DecodeRaw(XDR* stream, int depth, int32_t* type, uintptr_t* value, int32_t* size) {
  *type = 0;
  *value = 0;
  *size = 0;
  if (depth > HUBIO_MAX_NESTING || !xdr_int(stream, type)) return false;
  if (Decodable(*type) && DecodeValue(stream, depth, *type, value, size)) return true;
  *value = 0;
  *size = 0;
  return false;
}

}  // namespace

char* HubIO_EncodeElement(int32_t type, uintptr_t value, int32_t size, int32_t* length) {
  *length = 0;
  Encoder out;
  if (!out.PutInt(type) || !EncodeValue(out, type, value, size)) return nullptr;
  return out.Take(length);
}

char* HubIO_EncodeFrame(const Hub_Frame* frame, int32_t* length) {
  return HubIO_EncodeElement(HUB_FRAME, reinterpret_cast<uintptr_t>(frame), 1, length);
}

int HubIO_DecodeElement(const char* bytes, int32_t length, int32_t* type, uintptr_t* value,
                        int32_t* size) {
  *type = 0;
  *value = 0;
  *size = 0;
  if (!bytes || length <= 0) return 0;
  XDR stream;
  xdrmem_create(&stream, const_cast<char*>(bytes), static_cast<u_int>(length), XDR_DECODE);
  bool ok = DecodeRaw(&stream, 1, type, value, size);
  xdr_destroy(&stream);
  if (!ok) *type = 0;
  return ok ? 1 : 0;
}

Hub_Object* HubIO_DecodeObject(XDR* stream) { return DecodeObjectAt(stream, 1); }

void HubIO_FreeElement(int32_t type, uintptr_t value, int32_t size) {
  void* pointer = reinterpret_cast<void*>(value);
  switch (type) {
    case HUB_FRAME:
      Hub_DestroyFrame(static_cast<Hub_Frame*>(pointer));
      break;
    case HUB_LIST: {
      auto** members = static_cast<Hub_Object**>(pointer);
      for (int32_t i = 0; members && i < size; ++i) Hub_DestroyObject(members[i]);
      free(members);
      break;
    }
    case HUB_PROXY:
      Hub_DestroyBrokerProxy(static_cast<Hub_BrokerProxy*>(pointer));
      break;
    case HUB_STRING:
    case HUB_TOKEN:
    case HUB_FLOAT:
      free(pointer);
      break;
    default:
      if (IsArrayType(type)) free(pointer);
      break;
  }
}

Hub_Object* HubIO_MakeElementObject(int32_t type, uintptr_t value, int32_t size) {
  void* pointer = reinterpret_cast<void*>(value);
  Hub_Object* object = nullptr;
  switch (type) {
    case HUB_FRAME:
      object = Hub_MakeFrameObject(static_cast<Hub_Frame*>(pointer));
      break;
    case HUB_STRING:
      object = Hub_WrapStringObject(static_cast<char*>(pointer), 1);
      break;
    case HUB_TOKEN:
      object = Hub_WrapTokenObject(static_cast<char*>(pointer), 1);
      break;
    case HUB_INT:
      object = Hub_MakeIntObject(static_cast<int32_t>(value));
      break;
    case HUB_FLOAT:
      object = Hub_WrapFloatObject(static_cast<float*>(pointer), 1);
      break;
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG:
      object = Hub_MakeSymbolicObject(static_cast<Hub_Symbol>(pointer), type);
      break;
    case HUB_LIST:
      object = Hub_WrapListObject(static_cast<Hub_Object**>(pointer), size, Hub_FreeListElement, 1);
      break;
    case HUB_BINARY:
      object = Hub_WrapBinaryObject(pointer, size, 1);
      break;
    case HUB_INT_16:
      object = Hub_WrapInt16ArrayObject(pointer, size, 1);
      break;
    case HUB_INT_32:
      object = Hub_WrapInt32ArrayObject(pointer, size, 1);
      break;
    case HUB_FLOAT_32:
      object = Hub_WrapFloat32ArrayObject(pointer, size, 1);
      break;
    case HUB_FLOAT_64:
      object = Hub_WrapFloat64ArrayObject(pointer, size, 1);
      break;
    case HUB_PROXY:
      object = Hub_MakeProxyObject(static_cast<Hub_BrokerProxy*>(pointer));
      break;
    default:
      break;
  }
  if (!object) HubIO_FreeElement(type, value, size);
  return object;
}
