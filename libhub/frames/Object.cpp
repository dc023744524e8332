#include "libhub/frames/Object.h"

#include <strings.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/frames/Frame.h"
#include "libhub/frames/PrintUtil.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"

namespace {

const char kNoMemory[] = "Error alloc'ing memory for a Hub_Object";

const char* const kLocation = "libhub/frames/tobj";
Hub_Repository* g_objects = nullptr;

const char* const kTypeNames[] = {
    "HUB_FREE",       "HUB_FRAME",    "HUB_STRING",  "HUB_INT",         "HUB_FLOAT",
    "HUB_SYMBOL",     "HUB_LIST",     "HUB_PTR",     "HUB_TOPIC_FRAME", "HUB_CLAUSE_FRAME",
    "HUB_PRED_FRAME", "HUB_BINARY",   "HUB_INT_16",  "HUB_INT_32",      "HUB_INT_64",
    "HUB_FLOAT_32",   "HUB_FLOAT_64", "HUB_KEYWORD", "HUB_TAG",         "HUB_TOKEN",
};

// Growth of the buffers that wrap makers and copies make: lists grow by 10
// elements with none kept free, arrays by 1024 bytes with 128 kept free.
constexpr uint32_t kListStep = 10;
constexpr uint32_t kArrayStep = 1024;
constexpr int32_t kArrayReserve = 128;
constexpr uint32_t kObjectElementType = HUB_PTR;

bool IsSymbolicType(int type) {
  return type == HUB_SYMBOL || type == HUB_KEYWORD || type == HUB_TAG;
}
bool IsTextType(int type) { return type == HUB_STRING || type == HUB_TOKEN; }

// The type code that asks for a frame of the kind: 8, 9, 10, else 0.
int KindTypeCode(int kind) {
  switch (kind) {
    case HUB_KIND_TOPIC: return HUB_TOPIC_FRAME;
    case HUB_KIND_CLAUSE: return HUB_CLAUSE_FRAME;
    case HUB_KIND_PREDICATE: return HUB_PRED_FRAME;
    default: return 0;
  }
}

Hub_Object* NewObject(int type, uintptr_t value, int composite, int manages) {
  if (!g_objects) {
    HubUtil_PrintFatal("Hub_Object memory not initialized; call Hub_InitializeStatics()");
  }
  auto* object = static_cast<Hub_Object*>(Hub_RepositoryTake(g_objects, nullptr));
  if (!object) {
    HubUtil_PrintWarningAt(kLocation, "Hub_Object allocation error");
    return nullptr;
  }
  object->type = static_cast<int16_t>(type);
  object->value = value;
  object->composite = composite;
  object->useCount = 0;
  object->managesMemory = manages ? 1 : 0;
  return object;
}

uintptr_t Word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

void* CopyBytes(const void* bytes, size_t size) {
  if (size == 0 || !bytes) return nullptr;
  void* copy = malloc(size);
  HubUtil_Assert(copy != nullptr, kNoMemory);
  memcpy(copy, bytes, size);
  return copy;
}

// An object over a buffer made for it; the record is given back when the
// buffer cannot be made, so nothing of the caller's is touched.
template <typename Buffer, typename MakeBuffer>
Hub_Object* ObjectOverBuffer(int type, MakeBuffer make) {
  Hub_Object* object = NewObject(type, 0, 1, 1);
  if (!object) return nullptr;
  Buffer* buffer = make();
  if (!buffer) {
    Hub_ReleaseObjectShallow(object);
    return nullptr;
  }
  object->value = Word(buffer);
  return object;
}

Hub_Object* WrapArray(int type, void* elements, int32_t count, int manages) {
  uint32_t size = Hub_ArrayElementSize(type);
  return ObjectOverBuffer<Hub_ByteBuffer>(type, [&] {
    return Hub_MakeByteBuffer(static_cast<char*>(elements), count, count * size, manages, 1,
                              kArrayStep, kArrayReserve, size);
  });
}

Hub_PointerBuffer* ListBuffer(const Hub_Object* object) {
  return object && object->type == HUB_LIST ? reinterpret_cast<Hub_PointerBuffer*>(object->value)
                                            : nullptr;
}

Hub_ByteBuffer* ArrayBuffer(const Hub_Object* object) {
  return object && Hub_IsArrayType(object->type) ? reinterpret_cast<Hub_ByteBuffer*>(object->value)
                                             : nullptr;
}

Hub_Frame* FrameOf(const Hub_Object* object) { return reinterpret_cast<Hub_Frame*>(object->value); }

Hub_BrokerProxy* ProxyOf(const Hub_Object* object) {
  return object && object->type == HUB_PROXY ? reinterpret_cast<Hub_BrokerProxy*>(object->value)
                                             : nullptr;
}

bool IsType(const Hub_Object* object, int type) { return object && object->type == type; }

bool IsFrameOfKind(const Hub_Object* object, int kind) {
  return IsType(object, HUB_FRAME) && FrameOf(object) && FrameOf(object)->kind == kind;
}

// ---- comparison ----

bool TextsEqual(const char* a, const char* b, bool ignoreCase) {
  if (!a || !b) return a == b;
  return (ignoreCase ? strcasecmp(a, b) : strcmp(a, b)) == 0;
}

// Each element of b is paired with the first still unpaired element of a that
// compares equal to it; a pattern (match) may be shorter than the candidate.
bool ListsEqual(const Hub_PointerBuffer* a, const Hub_PointerBuffer* b, bool ignoreCase,
                bool match) {
  int32_t countA = a ? a->count : 0;
  int32_t countB = b ? b->count : 0;
  if (!match && countA != countB) return false;
  std::vector<bool> paired(countA, false);
  for (int32_t j = 0; j < countB; ++j) {
    auto* wanted = static_cast<const Hub_Object*>(b->elements[j]);
    bool found = false;
    for (int32_t i = 0; i < countA && !found; ++i) {
      if (paired[i]) continue;
      if (Hub_CompareObjects(static_cast<const Hub_Object*>(a->elements[i]), wanted, ignoreCase,
                             match)) {
        paired[i] = found = true;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool ArraysEqual(const Hub_ByteBuffer* a, const Hub_ByteBuffer* b) {
  int32_t sizeA = a ? a->size : 0;
  int32_t sizeB = b ? b->size : 0;
  return sizeA == sizeB && (sizeA == 0 || memcmp(a->data, b->data, sizeA) == 0);
}

bool ProxiesEqual(const Hub_BrokerProxy* a, const Hub_BrokerProxy* b, bool ignoreCase, bool match) {
  if (!a || !b) return a == b;
  return TextsEqual(a->callId, b->callId, false) && TextsEqual(a->host, b->host, false) &&
         a->port == b->port && a->objectType == b->objectType &&
         Hub_CompareObjects(a->object, b->object, ignoreCase, match);
}

bool FloatsEqual(const Hub_Object* a, const Hub_Object* b) {
  auto* x = reinterpret_cast<const float*>(a->value);
  auto* y = reinterpret_cast<const float*>(b->value);
  if (!x || !y) return x == y;
  return *x == *y;
}

// ---- copying ----

Hub_Object* CopyList(const Hub_PointerBuffer* source) {
  int32_t count = source ? source->count : 0;
  Hub_Object** elements = nullptr;
  if (count > 0) {
    elements = static_cast<Hub_Object**>(calloc(count, sizeof(Hub_Object*)));
    HubUtil_Assert(elements != nullptr, kNoMemory);
    for (int32_t i = 0; i < count; ++i) {
      elements[i] = Hub_DeepCopyObject(static_cast<const Hub_Object*>(source->elements[i]));
    }
  }
  // The copy owns new storage and new elements: it frees them with the
  // source's function, or destroys them when the source had none.
  Hub_ElementFree freeElement =
      source && source->freeElement ? source->freeElement : Hub_FreeListElement;
  int grows = source ? (source->flags & HUB_BUFFER_GROWS) != 0 : 1;
  uint32_t step = source ? source->growthStep : kListStep;
  int32_t reserve = source ? source->reserve : 0;
  Hub_Object* copy = ObjectOverBuffer<Hub_PointerBuffer>(HUB_LIST, [&] {
    return Hub_MakePointerBuffer(reinterpret_cast<void**>(elements), kObjectElementType, count,
                                 count, 1, grows, freeElement, step, reserve);
  });
  if (!copy) {
    for (int32_t i = 0; i < count; ++i) Hub_DestroyObject(elements[i]);
    free(elements);
  }
  return copy;
}

Hub_Object* CopyArray(int type, const Hub_ByteBuffer* source) {
  int32_t size = source ? source->size : 0;
  uint32_t elementSize = source ? source->elementSize : Hub_ArrayElementSize(type);
  char* bytes = static_cast<char*>(CopyBytes(source ? source->data : nullptr, size));
  Hub_Object* copy = ObjectOverBuffer<Hub_ByteBuffer>(type, [&] {
    return Hub_MakeByteBuffer(bytes, size / static_cast<int32_t>(elementSize), size, 1, 1,
                              kArrayStep, kArrayReserve, elementSize);
  });
  if (!copy) free(bytes);
  return copy;
}

Hub_Object* CopyFloat(const Hub_Object* object) {
  auto* value = reinterpret_cast<const float*>(object->value);
  return Hub_MakeFloatObject(value ? *value : 0.0f);
}

void DestroyContents(Hub_Object* object, int level) {
  void* value = reinterpret_cast<void*>(object->value);
  switch (object->type) {
    case HUB_FRAME: Hub_DestroyFrameAtDepth(static_cast<Hub_Frame*>(value), level + 1); break;
    case HUB_STRING:
    case HUB_TOKEN:
    case HUB_FLOAT: free(value); break;
    case HUB_LIST: Hub_DestroyPointerBuffer(static_cast<Hub_PointerBuffer*>(value)); break;
    case HUB_PROXY: Hub_DestroyBrokerProxy(static_cast<Hub_BrokerProxy*>(value)); break;
    default:
      if (Hub_IsArrayType(object->type)) Hub_DestroyByteBuffer(static_cast<Hub_ByteBuffer*>(value));
      break;
  }
}

void GiveBack(Hub_Object* object) {
  object->type = HUB_FREE;
  object->value = 0;
  Hub_RepositoryGive(g_objects, object);
}

}  // namespace

void Hub_InitObjectRepository() { g_objects = Hub_CreateRepository(sizeof(Hub_Object), 2000); }

uint32_t Hub_ArrayElementSize(int type) {
  switch (type) {
    case HUB_INT_16: return 2;
    case HUB_INT_32:
    case HUB_FLOAT_32: return 4;
    case HUB_INT_64:
    case HUB_FLOAT_64: return 8;
    default: return 1;
  }
}

const char* Hub_TypeCodeName(int type) {
  if (type >= HUB_FREE && type <= HUB_TOKEN) return kTypeNames[type];
  HubUtil_PrintWarningAt(kLocation, "Can't return string for unknown object type %d", type);
  return "UNKNOWN";
}

// ---- makers ----

Hub_Object* Hub_WrapStringObject(char* text, int manages) {
  return text ? NewObject(HUB_STRING, Word(text), 0, manages) : nullptr;
}

Hub_Object* Hub_MakeStringObject(const char* text) {
  return text ? Hub_WrapStringObject(HubUtil_CopyText(text, kNoMemory), 1) : nullptr;
}

Hub_Object* Hub_WrapTokenObject(char* text, int manages) {
  return text ? NewObject(HUB_TOKEN, Word(text), 0, manages) : nullptr;
}

Hub_Object* Hub_MakeTokenObject(const char* text) {
  return text ? Hub_WrapTokenObject(HubUtil_CopyText(text, kNoMemory), 1) : nullptr;
}

Hub_Object* Hub_MakeIntObject(int32_t value) {
  return NewObject(HUB_INT, static_cast<uintptr_t>(static_cast<intptr_t>(value)), 0, 0);
}

Hub_Object* Hub_WrapFloatObject(float* value, int manages) {
  return NewObject(HUB_FLOAT, Word(value), 0, manages);
}

Hub_Object* Hub_MakeFloatObject(float value) {
  auto* copy = static_cast<float*>(malloc(sizeof(float)));
  HubUtil_Assert(copy != nullptr, kNoMemory);
  *copy = value;
  Hub_Object* object = Hub_WrapFloatObject(copy, 1);
  if (!object) free(copy);
  return object;
}

Hub_Object* Hub_WrapFrameObject(Hub_Frame* frame, int manages) {
  return frame ? NewObject(HUB_FRAME, Word(frame), 0, manages) : nullptr;
}

Hub_Object* Hub_MakeFrameObject(Hub_Frame* frame) { return Hub_WrapFrameObject(frame, 1); }

Hub_Object* Hub_MakePointerObject(void* pointer) { return NewObject(HUB_PTR, Word(pointer), 0, 0); }

Hub_Object* Hub_MakeSymbolicObject(Hub_Symbol symbol, int type) {
  if (!IsSymbolicType(type)) {
    HubUtil_PrintWarningAt(kLocation, "Can't make a symbolic object of type %s",
                           Hub_TypeCodeName(type));
    return nullptr;
  }
  return symbol ? NewObject(type, Word(symbol), 0, 0) : nullptr;
}

Hub_Object* Hub_MakeSymbolObject(const char* text) {
  return Hub_MakeSymbolicObject(Hub_Intern(text), HUB_SYMBOL);
}

Hub_Object* Hub_MakeKeywordObject(const char* text) {
  return Hub_MakeSymbolicObject(Hub_Intern(text), HUB_KEYWORD);
}

Hub_Object* Hub_MakeTagObject(const char* text) {
  return Hub_MakeSymbolicObject(Hub_Intern(text), HUB_TAG);
}

Hub_Object* Hub_WrapListObject(Hub_Object** elements, int32_t count,
                               Hub_ListElementFree freeElement, int manages) {
  return ObjectOverBuffer<Hub_PointerBuffer>(HUB_LIST, [&] {
    return Hub_MakePointerBuffer(reinterpret_cast<void**>(elements), kObjectElementType, count,
                                 count, manages, 1, freeElement, kListStep, 0);
  });
}

Hub_Object* Hub_MakeListObject(Hub_Object* const* elements, int32_t count) {
  if (count < 0) count = 0;
  auto* copy = static_cast<void**>(CopyBytes(elements, count * sizeof(Hub_Object*)));
  Hub_Object* object = ObjectOverBuffer<Hub_PointerBuffer>(HUB_LIST, [&] {
    return Hub_MakePointerBuffer(copy, kObjectElementType, count, count, 1, 0, Hub_FreeListElement,
                                 0, 0);
  });
  if (!object) free(copy);
  return object;
}

Hub_Object* Hub_MakeListObjectOfArgs(int32_t count, ...) {
  std::vector<Hub_Object*> elements;
  va_list args;
  va_start(args, count);
  for (int32_t i = 0; i < count; ++i) elements.push_back(va_arg(args, Hub_Object*));
  va_end(args);
  return Hub_MakeListObject(elements.data(), static_cast<int32_t>(elements.size()));
}

void Hub_FreeListElement(void* element) { Hub_DestroyObject(static_cast<Hub_Object*>(element)); }

Hub_Object* Hub_WrapBinaryObject(void* bytes, int32_t size, int manages) {
  return WrapArray(HUB_BINARY, bytes, size, manages);
}

Hub_Object* Hub_MakeBinaryObject(const void* bytes, int32_t size) {
  if (size < 0) size = 0;
  char* copy = static_cast<char*>(CopyBytes(bytes, size));
  Hub_Object* object = ObjectOverBuffer<Hub_ByteBuffer>(HUB_BINARY, [&] {
    return Hub_MakeByteBuffer(copy, copy ? size : 0, copy ? size : 0, 1, 0, 0, 0, 1);
  });
  if (!object) free(copy);
  return object;
}

Hub_Object* Hub_WrapInt16ArrayObject(void* elements, int32_t count, int manages) {
  return WrapArray(HUB_INT_16, elements, count, manages);
}
Hub_Object* Hub_WrapInt32ArrayObject(void* elements, int32_t count, int manages) {
  return WrapArray(HUB_INT_32, elements, count, manages);
}
Hub_Object* Hub_WrapInt64ArrayObject(void* elements, int32_t count, int manages) {
  return WrapArray(HUB_INT_64, elements, count, manages);
}
Hub_Object* Hub_WrapFloat32ArrayObject(void* elements, int32_t count, int manages) {
  return WrapArray(HUB_FLOAT_32, elements, count, manages);
}
Hub_Object* Hub_WrapFloat64ArrayObject(void* elements, int32_t count, int manages) {
  return WrapArray(HUB_FLOAT_64, elements, count, manages);
}
Hub_Object* Hub_WrapArrayObject(int type, void* elements, int32_t count, int manages) {
  return WrapArray(type, elements, count, manages);
}

Hub_Object* Hub_WrapBufferObject(Hub_ByteBuffer* buffer, int type, int manages) {
  if (!Hub_IsArrayType(type)) {
    HubUtil_PrintWarningAt(kLocation, "Can't wrap a buffer in an object of type %s",
                           Hub_TypeCodeName(type));
    return nullptr;
  }
  return buffer ? NewObject(type, Word(buffer), 1, manages) : nullptr;
}

Hub_Object* Hub_MakeProxyObject(Hub_BrokerProxy* proxy) { return Hub_WrapProxyObject(proxy, 1); }

Hub_Object* Hub_WrapProxyObject(Hub_BrokerProxy* proxy, int manages) {
  return proxy ? NewObject(HUB_PROXY, Word(proxy), 1, manages) : nullptr;
}

// ---- reading ----

int Hub_ObjectTypeCode(const Hub_Object* object) { return object ? object->type : 0; }

const char* Hub_ObjectTypeName(const Hub_Object* object) {
  return Hub_TypeCodeName(Hub_ObjectTypeCode(object));
}

int Hub_ObjectReportedType(const Hub_Object* object) {
  if (!object) return 0;
  if (object->type != HUB_FRAME) return object->type;
  return FrameOf(object) ? KindTypeCode(FrameOf(object)->kind) : 0;
}

uintptr_t Hub_ObjectRawValue(const Hub_Object* object) { return object ? object->value : 0; }

void* Hub_ObjectValueAs(const Hub_Object* object, int type, const char* location, const char* key) {
  if (!object) return nullptr;
  if (object->type == type) {
    if (type == HUB_LIST || Hub_IsArrayType(type)) return const_cast<Hub_Object*>(object);
    return reinterpret_cast<void*>(object->value);
  }
  // A frame is given for the code that asks for its kind.
  if (object->type == HUB_FRAME && type != 0 && Hub_ObjectReportedType(object) == type) {
    return FrameOf(object);
  }
  if (location) {
    if (key) {
      HubUtil_PrintWarningAt(location, "Object (key %s) type %s does not match specified type %s",
                             key, Hub_ObjectTypeName(object), Hub_TypeCodeName(type));
    } else {
      HubUtil_PrintWarningAt(location, "Object type %s does not match specified type %s",
                             Hub_ObjectTypeName(object), Hub_TypeCodeName(type));
    }
  }
  return nullptr;
}

Hub_Frame* Hub_ObjectFrame(const Hub_Object* object) {
  return static_cast<Hub_Frame*>(Hub_ObjectValueAs(object, HUB_FRAME, kLocation, nullptr));
}
Hub_Frame* Hub_ObjectClauseFrame(const Hub_Object* object) {
  return static_cast<Hub_Frame*>(Hub_ObjectValueAs(object, HUB_CLAUSE_FRAME, kLocation, nullptr));
}
Hub_Frame* Hub_ObjectTopicFrame(const Hub_Object* object) {
  return static_cast<Hub_Frame*>(Hub_ObjectValueAs(object, HUB_TOPIC_FRAME, kLocation, nullptr));
}
Hub_Frame* Hub_ObjectPredicateFrame(const Hub_Object* object) {
  return static_cast<Hub_Frame*>(Hub_ObjectValueAs(object, HUB_PRED_FRAME, kLocation, nullptr));
}
void* Hub_ObjectPointer(const Hub_Object* object) {
  return Hub_ObjectValueAs(object, HUB_PTR, kLocation, nullptr);
}

int32_t Hub_ObjectInt(const Hub_Object* object) {
  return static_cast<int32_t>(
      reinterpret_cast<intptr_t>(Hub_ObjectValueAs(object, HUB_INT, kLocation, nullptr)));
}

float Hub_ObjectFloat(const Hub_Object* object) {
  auto* value = static_cast<float*>(Hub_ObjectValueAs(object, HUB_FLOAT, kLocation, nullptr));
  return value ? *value : 0.0f;
}

Hub_BrokerProxy* Hub_ObjectProxy(const Hub_Object* object) {
  return static_cast<Hub_BrokerProxy*>(Hub_ObjectValueAs(object, HUB_PROXY, kLocation, nullptr));
}

const char* Hub_ObjectSymbolName(const Hub_Object* object) {
  if (!object) return nullptr;
  if (IsSymbolicType(object->type)) {
    return Hub_SymbolName(reinterpret_cast<Hub_Symbol>(object->value));
  }
  HubUtil_PrintWarningAt(kLocation,
                         "Can't get value of object (type %s) because it is not a symbol, "
                         "keyword, or tag",
                         Hub_ObjectTypeName(object));
  return nullptr;
}

const char* Hub_ObjectText(const Hub_Object* object) {
  if (!object) return nullptr;
  if (IsTextType(object->type)) return reinterpret_cast<const char*>(object->value);
  Hub_ByteBuffer* scratch = nullptr;
  const char* shown = Hub_ObjectDisplayText(object, &scratch);
  HubUtil_PrintWarningAt(kLocation,
                         "Can't get value of object %s (type %s) because it is not a string or "
                         "token",
                         shown, Hub_ObjectTypeName(object));
  Hub_DestroyByteBuffer(scratch);
  return nullptr;
}

int32_t Hub_ObjectLength(const Hub_Object* object) {
  if (IsType(object, HUB_STRING) && object->value) {
    return static_cast<int32_t>(strlen(reinterpret_cast<const char*>(object->value)));
  }
  Hub_ByteBuffer* buffer = ArrayBuffer(object);
  return buffer ? buffer->size : 0;
}

// ---- lists ----

Hub_Object** Hub_ObjectListElements(const Hub_Object* object, int32_t* count) {
  auto* list = static_cast<Hub_Object*>(Hub_ObjectValueAs(object, HUB_LIST, kLocation, nullptr));
  Hub_PointerBuffer* buffer = ListBuffer(list);
  if (count) *count = buffer ? buffer->count : 0;
  return buffer ? reinterpret_cast<Hub_Object**>(buffer->elements) : nullptr;
}

int32_t Hub_ListObjectLength(const Hub_Object* object) {
  Hub_PointerBuffer* buffer = ListBuffer(object);
  return buffer ? buffer->count : 0;
}

Hub_Object* Hub_ListObjectElement(const Hub_Object* object, int32_t index) {
  Hub_PointerBuffer* buffer = ListBuffer(object);
  return buffer ? static_cast<Hub_Object*>(Hub_PointerBufferElement(buffer, index)) : nullptr;
}

int Hub_ListObjectSetElement(Hub_Object* object, int32_t index, Hub_Object* element) {
  Hub_PointerBuffer* buffer = ListBuffer(object);
  return buffer && index >= 0 ? Hub_PointerBufferSet(buffer, index, element) : 0;
}

int Hub_ListObjectAppend(Hub_Object* object, Hub_Object* element) {
  Hub_PointerBuffer* buffer = ListBuffer(object);
  return buffer ? Hub_PointerBufferAppendOne(buffer, element) : 0;
}

int Hub_ListObjectIsExpandable(const Hub_Object* object) {
  Hub_PointerBuffer* buffer = ListBuffer(object);
  return buffer ? Hub_PointerBufferCanGrow(buffer) : 0;
}

void* Hub_ListObjectElementAs(const Hub_Object* object, int32_t index, int type) {
  return Hub_ObjectValueAs(Hub_ListObjectElement(object, index), type, kLocation, nullptr);
}

// ---- arrays ----

void* Hub_ArrayObjectContents(const Hub_Object* object, int32_t* count) {
  Hub_ByteBuffer* buffer = ArrayBuffer(object);
  if (count) *count = buffer ? Hub_ByteBufferElementCount(buffer) : 0;
  return buffer ? buffer->data : nullptr;
}

void* Hub_ObjectArrayOfType(const Hub_Object* object, int32_t* count, int type) {
  if (!Hub_IsArrayType(type)) {
    if (count) *count = 0;
    return nullptr;
  }
  return Hub_ArrayObjectContents(
      static_cast<Hub_Object*>(Hub_ObjectValueAs(object, type, kLocation, nullptr)), count);
}

void* Hub_GetBinary(const Hub_Object* object, int32_t* size) {
  return Hub_ObjectArrayOfType(object, size, HUB_BINARY);
}
void* Hub_GetInt16Array(const Hub_Object* object, int32_t* count) {
  return Hub_ObjectArrayOfType(object, count, HUB_INT_16);
}
void* Hub_GetInt32Array(const Hub_Object* object, int32_t* count) {
  return Hub_ObjectArrayOfType(object, count, HUB_INT_32);
}
void* Hub_GetInt64Array(const Hub_Object* object, int32_t* count) {
  return Hub_ObjectArrayOfType(object, count, HUB_INT_64);
}
void* Hub_GetFloat32Array(const Hub_Object* object, int32_t* count) {
  return Hub_ObjectArrayOfType(object, count, HUB_FLOAT_32);
}
void* Hub_GetFloat64Array(const Hub_Object* object, int32_t* count) {
  return Hub_ObjectArrayOfType(object, count, HUB_FLOAT_64);
}

int32_t Hub_ArraySizeOfType(const Hub_Object* object, int type) {
  if (!IsType(object, type)) return 0;
  Hub_ByteBuffer* buffer = ArrayBuffer(object);
  return buffer ? Hub_ByteBufferElementCount(buffer) : 0;
}

int Hub_AppendToArrayObject(Hub_Object* object, const void* elements, int32_t count) {
  Hub_ByteBuffer* buffer = ArrayBuffer(object);
  return buffer ? Hub_ByteBufferAppend(buffer, elements, count) : 0;
}

int Hub_ArrayObjectIsExpandable(const Hub_Object* object) {
  Hub_ByteBuffer* buffer = ArrayBuffer(object);
  return buffer ? Hub_ByteBufferCanGrow(buffer) : 0;
}

// ---- predicates ----

bool Hub_IsFrameObject(const Hub_Object* object) { return IsType(object, HUB_FRAME); }
bool Hub_IsStringObject(const Hub_Object* object) { return IsType(object, HUB_STRING); }
bool Hub_IsIntObject(const Hub_Object* object) { return IsType(object, HUB_INT); }
bool Hub_IsFloatObject(const Hub_Object* object) { return IsType(object, HUB_FLOAT); }
bool Hub_IsSymbolObject(const Hub_Object* object) { return IsType(object, HUB_SYMBOL); }
bool Hub_IsListObject(const Hub_Object* object) { return IsType(object, HUB_LIST); }
bool Hub_IsPointerObject(const Hub_Object* object) { return IsType(object, HUB_PTR); }
bool Hub_IsBinaryObject(const Hub_Object* object) { return IsType(object, HUB_BINARY); }
bool Hub_IsInt16ArrayObject(const Hub_Object* object) { return IsType(object, HUB_INT_16); }
bool Hub_IsInt32ArrayObject(const Hub_Object* object) { return IsType(object, HUB_INT_32); }
bool Hub_IsInt64ArrayObject(const Hub_Object* object) { return IsType(object, HUB_INT_64); }
bool Hub_IsFloat32ArrayObject(const Hub_Object* object) { return IsType(object, HUB_FLOAT_32); }
bool Hub_IsFloat64ArrayObject(const Hub_Object* object) { return IsType(object, HUB_FLOAT_64); }
bool Hub_IsKeywordObject(const Hub_Object* object) { return IsType(object, HUB_KEYWORD); }
bool Hub_IsTagObject(const Hub_Object* object) { return IsType(object, HUB_TAG); }
bool Hub_IsTokenObject(const Hub_Object* object) { return IsType(object, HUB_TOKEN); }
bool Hub_IsProxyObject(const Hub_Object* object) { return IsType(object, HUB_PROXY); }
bool Hub_IsTopicFrameObject(const Hub_Object* object) {
  return IsFrameOfKind(object, HUB_KIND_TOPIC);
}
bool Hub_IsClauseFrameObject(const Hub_Object* object) {
  return IsFrameOfKind(object, HUB_KIND_CLAUSE);
}
bool Hub_IsPredicateFrameObject(const Hub_Object* object) {
  return IsFrameOfKind(object, HUB_KIND_PREDICATE);
}

// ---- broker proxy objects ----

Hub_Broker* Hub_ObjectInBroker(const Hub_Object* object) {
  Hub_BrokerProxy* proxy = ProxyOf(object);
  return proxy ? proxy->inBroker : nullptr;
}

int Hub_ObjectDataType(const Hub_Object* object) {
  Hub_BrokerProxy* proxy = ProxyOf(object);
  return proxy ? proxy->objectType : Hub_ObjectTypeCode(object);
}

Hub_Object* Hub_ObjectProxiedValue(Hub_Object* object) {
  Hub_BrokerProxy* proxy = ProxyOf(object);
  return proxy && proxy->object ? proxy->object : object;
}

// ---- comparing, copying, destroying ----

bool Hub_CompareObjects(const Hub_Object* a, const Hub_Object* b, bool ignoreCase, bool match) {
  if (a == b) return true;
  if (!a || !b || a->type != b->type) return false;
  switch (a->type) {
    case HUB_FRAME:
      return match ? Hub_FrameMatchesPattern(FrameOf(a), FrameOf(b))
                   : Hub_FramesAreEqual(FrameOf(a), FrameOf(b));
    case HUB_STRING:
    case HUB_TOKEN:
      return TextsEqual(reinterpret_cast<const char*>(a->value),
                        reinterpret_cast<const char*>(b->value), ignoreCase);
    case HUB_INT:
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG: return a->value == b->value;
    case HUB_FLOAT: return FloatsEqual(a, b);
    case HUB_LIST: return ListsEqual(ListBuffer(a), ListBuffer(b), ignoreCase, match);
    case HUB_PROXY: return ProxiesEqual(ProxyOf(a), ProxyOf(b), ignoreCase, match);
    default: return Hub_IsArrayType(a->type) && ArraysEqual(ArrayBuffer(a), ArrayBuffer(b));
  }
}

bool Hub_ObjectsAreEqual(const Hub_Object* a, const Hub_Object* b) {
  return Hub_CompareObjects(a, b, false, false);
}
bool Hub_ObjectsAreEqualIgnoringCase(const Hub_Object* a, const Hub_Object* b) {
  return Hub_CompareObjects(a, b, true, false);
}
bool Hub_ObjectMatchesPattern(const Hub_Object* candidate, const Hub_Object* pattern) {
  return Hub_CompareObjects(candidate, pattern, true, true);
}

Hub_Object* Hub_DeepCopyObject(const Hub_Object* object) {
  if (!object) return nullptr;
  switch (object->type) {
    case HUB_FRAME: return Hub_MakeFrameObject(Hub_CopyFrame(FrameOf(object)));
    case HUB_STRING: return Hub_MakeStringObject(reinterpret_cast<const char*>(object->value));
    case HUB_TOKEN: return Hub_MakeTokenObject(reinterpret_cast<const char*>(object->value));
    case HUB_INT: return Hub_MakeIntObject(Hub_ObjectInt(object));
    case HUB_FLOAT: return CopyFloat(object);
    case HUB_SYMBOL:
    case HUB_KEYWORD:
    case HUB_TAG:
      return Hub_MakeSymbolicObject(reinterpret_cast<Hub_Symbol>(object->value), object->type);
    case HUB_LIST: return CopyList(ListBuffer(object));
    case HUB_PTR: return Hub_MakePointerObject(reinterpret_cast<void*>(object->value));
    case HUB_PROXY: return Hub_MakeProxyObject(Hub_DuplicateBrokerProxy(ProxyOf(object)));
    default:
      return Hub_IsArrayType(object->type) ? CopyArray(object->type, ArrayBuffer(object)) : nullptr;
  }
}

void Hub_DestroyObject(Hub_Object* object) { Hub_DestroyObjectAtDepth(object, 1); }

void Hub_DestroyObjectAtDepth(Hub_Object* object, int level) {
  if (!object || object->type == HUB_FREE) return;
  if (object->managesMemory && object->value) DestroyContents(object, level);
  GiveBack(object);
}

void Hub_ReleaseObjectShallow(Hub_Object* object) {
  if (!object || object->type == HUB_FREE) return;
  // Only a float the object manages is freed: a wrapped float stays the caller's.
  if (object->type == HUB_FLOAT && object->managesMemory) {
    free(reinterpret_cast<void*>(object->value));
  }
  GiveBack(object);
}
