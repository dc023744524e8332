#include "libhub/io/Xdr.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Vlist.h"

namespace {

const char* const kLocation = "libhub/io/binary_io";
// The first block an encoding writes into; it doubles as needed.
constexpr uint64_t kFirstBlock = 512;

// Bytes of a counted item of `length` bytes on the wire: the count and the
// bytes padded to a multiple of 4.
uint64_t CountedSize(uint64_t length) { return 4 + ((length + 3) & ~uint64_t{3}); }

// The element routine of a numeric array and its size on the wire (a short
// takes 4 bytes); the size in memory is Hub_ArrayElementSize's.
struct ArrayRoutine {
  xdrproc_t element;
  u_int wireSize;
};

ArrayRoutine ArrayRoutineOf(int32_t type) {
  switch (type) {
    case HUB_INT_16: return {reinterpret_cast<xdrproc_t>(xdr_short), 4};
    case HUB_INT_32: return {reinterpret_cast<xdrproc_t>(xdr_int), 4};
    case HUB_FLOAT_32: return {reinterpret_cast<xdrproc_t>(xdr_float), 4};
    default: return {reinterpret_cast<xdrproc_t>(xdr_double), 8};
  }
}

// ---- encoding ----

// A memory stream over a block that grows as the values come: each value's
// size is known before it is written (by the wire format, not by counting it
// with another stream), the block doubles when it would not fit, and the
// stream is made again over the grown block at the same position.
class Encoder {
 public:
  Encoder() = default;
  ~Encoder() {
    if (open_) xdr_destroy(&stream_);
    free(bytes_);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  bool PutInt(int32_t value) { return Room(4) && xdr_int(&stream_, &value); }
  bool PutFloat(float* value) { return Room(4) && xdr_float(&stream_, value); }
  bool PutText(const char* text) { return text && PutText(text, strlen(text)); }
  bool PutText(const char* text, size_t length) {
    u_int count = static_cast<u_int>(length);
    return length <= INT32_MAX && Room(CountedSize(length)) && xdr_u_int(&stream_, &count) &&
           xdr_opaque(&stream_, const_cast<char*>(text), count);
  }
  // A symbol's name (known length).
  bool PutName(Hub_Symbol symbol) {
    return symbol && PutText(Hub_SymbolName(symbol), Hub_SymbolLength(symbol));
  }
  bool PutBytes(char* bytes, u_int count) {
    return Room(CountedSize(count)) && xdr_bytes(&stream_, &bytes, &count, UINT_MAX);
  }
  bool PutArray(int32_t type, char* elements, u_int count) {
    ArrayRoutine routine = ArrayRoutineOf(type);
    return Room(4 + uint64_t{count} * routine.wireSize) &&
           xdr_array(&stream_, &elements, &count, UINT_MAX, Hub_ArrayElementSize(type),
                     routine.element);
  }

  // Where the next value goes, and writing an int over one written before.
  uint64_t Position() const { return used_; }
  bool PatchInt(uint64_t at, int32_t value) {
    bool ok = xdr_setpos(&stream_, static_cast<u_int>(at)) && xdr_int(&stream_, &value);
    return xdr_setpos(&stream_, static_cast<u_int>(used_)) && ok;
  }

  // The block with what was written, handed to the caller; its length in
  // *length. Null when nothing was written.
  char* Take(int32_t* length) {
    *length = static_cast<int32_t>(used_);
    char* bytes = bytes_;
    bytes_ = nullptr;
    return bytes;
  }

 private:
  bool Room(uint64_t size) {
    if (used_ + size > capacity_ && !Grow(used_ + size)) return false;
    used_ += size;
    return true;
  }

  // The block never grows past the largest message length.
  bool Grow(uint64_t needed) {
    if (needed > INT32_MAX) return false;
    uint64_t capacity = capacity_ ? 2 * capacity_ : kFirstBlock;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<char*>(realloc(bytes_, capacity));
    if (!grown) return false;
    bytes_ = grown;
    capacity_ = capacity;
    if (open_) xdr_destroy(&stream_);
    xdrmem_create(&stream_, bytes_, static_cast<u_int>(capacity_), XDR_ENCODE);
    open_ = true;
    return used_ == 0 || xdr_setpos(&stream_, static_cast<u_int>(used_));
  }

  char* bytes_ = nullptr;
  uint64_t capacity_ = 0;
  uint64_t used_ = 0;  // the bytes written and the room taken for the value being written
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
  } else if (Hub_IsArrayType(object->type)) {
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

// Properties without a value are neither written nor counted.
bool IsWritten(const Hub_VlistPair* pair) { return pair && pair->key && pair->value; }

// The property count goes before the properties; it is written once they
// are, over a place kept for it.
bool EncodeFrame(Encoder& out, const Hub_Frame* frame) {
  if (!frame) return false;
  if (!out.PutInt(frame->kind) || !(frame->name ? out.PutName(frame->name) : out.PutText("", 0))) {
    return false;
  }
  uint64_t countAt = out.Position();
  int32_t written = 0;
  if (!out.PutInt(0)) return false;
  int32_t slots = 0;
  const uintptr_t* entries = frame->properties ? Hub_VlistEntries(frame->properties, &slots) : nullptr;
  for (int32_t i = 0; i < slots; ++i) {
    const auto* pair = reinterpret_cast<const Hub_VlistPair*>(entries[i]);
    if (!IsWritten(pair)) continue;
    if (!out.PutName(reinterpret_cast<Hub_Symbol>(pair->key)) ||
        !EncodeObject(out, reinterpret_cast<const Hub_Object*>(pair->value))) {
      return false;
    }
    ++written;
  }
  if (written > 0 && !out.PatchInt(countAt, written)) return false;
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
  auto* bytes = static_cast<char*>(elements);
  auto n = static_cast<u_int>(count);
  return type == HUB_BINARY ? out.PutBytes(bytes, n) : out.PutArray(type, bytes, n);
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
      return pointer && out.PutFloat(static_cast<float*>(pointer));
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG:
      return out.PutName(static_cast<Hub_Symbol>(pointer));
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

// The end of what a memory stream holds, found with the stream's own
// operations: the furthest position it can be set to.
u_int StreamEnd(XDR* stream) {
  u_int start = xdr_getpos(stream);
  u_int end = start;
  for (u_int step = 1u << 31; step > 0; step >>= 1) {
    if (end + step > end && xdr_setpos(stream, end + step)) end += step;
  }
  xdr_setpos(stream, start);
  return end;
}

// One element's reading over a memory stream that ends at `end`: every length
// and count is held against the bytes left before anything is allocated. The
// position is followed here, value by value, rather than asked of the stream.
class Decoder {
 public:
  Decoder(XDR* stream, u_int end) : stream_(stream), position_(xdr_getpos(stream)), end_(end) {}

  u_int Left() const { return end_ - position_; }

  bool Int(int32_t* value) { return Took(4, xdr_int(stream_, value)); }
  bool Float(float* value) { return Took(4, xdr_float(stream_, value)); }
  // xdr_bytes or xdr_array over the stream, which says where it got to.
  template <typename Read>
  bool Counted(Read read) {
    bool ok = read(stream_);
    position_ = xdr_getpos(stream_);
    return ok;
  }
  // A count of members of at least `wireSize` bytes each that can all follow.
  bool Count(u_int wireSize, int32_t* count) {
    return Int(count) && *count >= 0 && static_cast<u_int>(*count) <= Left() / wireSize;
  }
  // The most members of `wireSize` bytes each that can follow a 4-byte count.
  u_int MostAfterCount(u_int wireSize) const {
    u_int left = Left();
    return left < 4 ? 0 : (left - 4) / wireSize;
  }

  // A counted text of at most `limit` bytes that fits in what is left, its
  // padding included: its bytes (not terminated; in the stream's memory, or
  // in a scratch copy when the stream cannot hand them out) and length.
  bool Bytes(u_int limit, const char** bytes, u_int* length) {
    if (!Took(4, xdr_u_int(stream_, length)) || *length > limit || *length > Left()) return false;
    u_int padded = (*length + 3) & ~3u;
    if (padded > Left()) return false;
    if (auto* inline_ = reinterpret_cast<const char*>(xdr_inline(stream_, padded))) {
      *bytes = inline_;
      return Took(padded, true);
    }
    scratch_.resize(padded);
    *bytes = scratch_.data();
    return Took(padded, xdr_opaque(stream_, scratch_.data(), *length));
  }

  // The same text as a new malloc'd string; null on failure.
  char* Text(u_int limit) {
    const char* bytes = nullptr;
    u_int length = 0;
    if (!Bytes(limit, &bytes, &length)) return nullptr;
    auto* text = static_cast<char*>(malloc(length + 1));
    if (!text) return nullptr;
    memcpy(text, bytes, length);
    text[length] = '\0';
    return text;
  }

  // The symbol of a name of at most HUBIO_MAX_NAME_LENGTH bytes; false when
  // it cannot be read (an empty name gives true and a null symbol).
  bool Name(Hub_Symbol* symbol) {
    const char* bytes = nullptr;
    u_int length = 0;
    if (!Bytes(HUBIO_MAX_NAME_LENGTH, &bytes, &length)) return false;
    *symbol = Hub_InternBytes(bytes, length);
    return true;
  }

 private:
  // Follows a read of `size` bytes: its result.
  bool Took(u_int size, bool_t read) {
    if (read) position_ += size;
    return read;
  }

  XDR* stream_;
  u_int position_;
  u_int end_;
  std::string scratch_;
};

bool DecodeRaw(Decoder& in, int depth, int32_t* type, uintptr_t* value, int32_t* size);

Hub_Object* DecodeObjectAt(Decoder& in, int depth) {
  int32_t type = 0;
  uintptr_t value = 0;
  int32_t size = 0;
  if (!DecodeRaw(in, depth, &type, &value, &size)) return nullptr;
  return HubIO_MakeElementObject(type, value, size);
}

// The keys a frame being decoded holds so far, while they are few: a key not
// among them is appended without a search of the frame.
struct DecodedKeys {
  static constexpr int32_t kMost = 32;
  Hub_Symbol keys[kMost];
  int32_t count = 0;

  // True when the key is surely new to the frame (and now noted).
  bool New(Hub_Symbol key) {
    if (!key || count >= kMost) return false;
    for (int32_t i = 0; i < count; ++i) {
      if (keys[i] == key) return false;
    }
    keys[count++] = key;
    return true;
  }
};

bool DecodeProperty(Decoder& in, int depth, Hub_Frame* frame, DecodedKeys* seen) {
  Hub_Symbol key = nullptr;
  if (!in.Name(&key)) return false;
  Hub_Object* object = DecodeObjectAt(in, depth + 1);
  if (!object) return false;
  bool stored = seen->New(key) ? Hub_AppendFrameProperty(frame, key, object) != nullptr
                               : Hub_StoreFrameProperty(frame, key, object) != nullptr;
  if (!stored) Hub_DestroyObject(object);
  return stored;
}

// A predicate must be a frame of kind predicate; its object wrapper is given
// back once the frame is added.
bool DecodePredicate(Decoder& in, int depth, Hub_Frame* frame) {
  Hub_Object* object = DecodeObjectAt(in, depth + 1);
  if (!object) return false;
  if (!Hub_IsFrameObject(object) ||
      !Hub_AddPredicate(frame, reinterpret_cast<Hub_Frame*>(object->value))) {
    Hub_DestroyObject(object);
    return false;
  }
  Hub_ReleaseObjectShallow(object);
  return true;
}

Hub_Frame* DecodeFrame(Decoder& in, int depth) {
  int32_t kind = 0;
  Hub_Symbol name = nullptr;
  if (!in.Int(&kind) || !in.Name(&name)) return nullptr;
  Hub_Frame* frame = Hub_MakeFrameOfKind(nullptr, kind);
  if (!frame) return nullptr;
  frame->name = name;
  int32_t count = 0;
  bool ok = in.Count(8, &count);  // a key and a type code at least
  DecodedKeys seen;
  for (int32_t i = 0; ok && i < count; ++i) ok = DecodeProperty(in, depth, frame, &seen);
  ok = ok && in.Count(4, &count);
  for (int32_t i = 0; ok && i < count; ++i) ok = DecodePredicate(in, depth, frame);
  if (ok) return frame;
  Hub_DestroyFrame(frame);
  return nullptr;
}

Hub_Object** DecodeList(Decoder& in, int depth, int32_t* count) {
  if (!in.Count(4, count)) return nullptr;
  if (*count == 0) return nullptr;
  auto* members = static_cast<Hub_Object**>(calloc(*count, sizeof(Hub_Object*)));
  if (!members) return nullptr;
  for (int32_t i = 0; i < *count; ++i) {
    members[i] = DecodeObjectAt(in, depth + 1);
    if (!members[i]) {
      for (int32_t j = 0; j < i; ++j) Hub_DestroyObject(members[j]);
      free(members);
      return nullptr;
    }
  }
  return members;
}

bool DecodeArray(Decoder& in, int32_t type, uintptr_t* value, int32_t* count) {
  char* elements = nullptr;
  u_int read = 0;
  bool ok;
  if (type == HUB_BINARY) {
    u_int most = in.MostAfterCount(1) & ~3u;
    ok = in.Counted([&](XDR* stream) { return xdr_bytes(stream, &elements, &read, most); });
  } else {
    ArrayRoutine routine = ArrayRoutineOf(type);
    u_int most = in.MostAfterCount(routine.wireSize);
    ok = in.Counted([&](XDR* stream) {
      return xdr_array(stream, &elements, &read, most, Hub_ArrayElementSize(type),
                       routine.element);
    });
  }
  if (!ok || read > INT32_MAX) {
    free(elements);  // an array read part of the way stays allocated
    return false;
  }
  *value = reinterpret_cast<uintptr_t>(elements);
  *count = static_cast<int32_t>(read);
  return true;
}

Hub_BrokerProxy* DecodeProxy(Decoder& in) {
  char* callId = in.Text(UINT_MAX);
  char* host = callId ? in.Text(UINT_MAX) : nullptr;
  int32_t port = 0;
  int32_t objectType = 0;
  Hub_BrokerProxy* proxy = nullptr;
  if (host && in.Int(&port) && in.Int(&objectType)) {
    proxy = Hub_CreateBrokerProxy(host, port, callId, objectType, nullptr);
  }
  free(callId);
  free(host);
  return proxy;
}

bool DecodeValue(Decoder& in, int depth, int32_t type, uintptr_t* value, int32_t* size) {
  *size = 1;
  switch (type) {
    case HUB_FRAME:
      *value = reinterpret_cast<uintptr_t>(DecodeFrame(in, depth));
      break;
    case HUB_STRING:
    case HUB_TOKEN:
      // Its size is of no use here; HubIO_DecodeElement gives the caller the
      // string's length.
      *value = reinterpret_cast<uintptr_t>(in.Text(UINT_MAX));
      break;
    case HUB_INT: {
      int32_t number = 0;
      if (!in.Int(&number)) return false;
      *value = static_cast<uintptr_t>(static_cast<intptr_t>(number));
      return true;
    }
    case HUB_FLOAT: {
      auto* number = static_cast<float*>(malloc(sizeof(float)));
      if (number && !in.Float(number)) {
        free(number);
        number = nullptr;
      }
      *value = reinterpret_cast<uintptr_t>(number);
      break;
    }
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG: {
      Hub_Symbol symbol = nullptr;
      if (!in.Name(&symbol)) return false;
      *value = reinterpret_cast<uintptr_t>(symbol);
      break;
    }
    case HUB_LIST: {
      int32_t count = -1;
      *value = reinterpret_cast<uintptr_t>(DecodeList(in, depth, &count));
      *size = count;
      return *value || count == 0;
    }
    case HUB_PROXY:
      *value = reinterpret_cast<uintptr_t>(DecodeProxy(in));
      break;
    default:
      return DecodeArray(in, type, value, size);
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

bool DecodeRaw(Decoder& in, int depth, int32_t* type, uintptr_t* value, int32_t* size) {
  *type = 0;
  *value = 0;
  *size = 0;
  if (depth > HUBIO_MAX_NESTING || !in.Int(type)) return false;
  if (Decodable(*type) && DecodeValue(in, depth, *type, value, size)) return true;
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
  Decoder in(&stream, static_cast<u_int>(length));
  bool ok = DecodeRaw(in, 1, type, value, size);
  xdr_destroy(&stream);
  if (!ok) *type = 0;
  // A string on the wire may hold a NUL byte: its size is the text's length.
  if (ok && (*type == HUB_STRING || *type == HUB_TOKEN)) {
    *size = static_cast<int32_t>(strlen(reinterpret_cast<const char*>(*value)));
  }
  return ok ? 1 : 0;
}

Hub_Object* HubIO_DecodeObject(XDR* stream) {
  Decoder in(stream, StreamEnd(stream));
  return DecodeObjectAt(in, 1);
}

void HubIO_FreeElement(int32_t type, uintptr_t value, int32_t size) {
  Hub_DestroyObject(HubIO_MakeElementObject(type, value, size));
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
    case HUB_INT_16:
    case HUB_INT_32:
    case HUB_FLOAT_32:
    case HUB_FLOAT_64:
      object = Hub_WrapArrayObject(type, pointer, size, 1);
      break;
    case HUB_PROXY:
      object = Hub_MakeProxyObject(static_cast<Hub_BrokerProxy*>(pointer));
      break;
    default:
      return nullptr;
  }
  // Without a record the value could not be freed by its type: running out
  // of memory here is fatal.
  if (!object && pointer) HubUtil_PrintFatal("Error alloc'ing memory for a decoded element");
  return object;
}
