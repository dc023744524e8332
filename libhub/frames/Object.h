// Typed objects of the hub protocol library: every value that travels in a
// frame (strings, integers, floats, frames, symbols, lists, numeric arrays,
// broker proxies).
//
// Ownership: "make" makers copy or allocate and the object manages its
// contents; "wrap" makers use the caller's storage and take the manages flag
// from the caller. Destroying an object destroys its contents only when its
// manages flag is set (lists, binary data and arrays always manage their
// buffer; the buffer frees the caller's storage only when it was told to own
// it). A buffer never reallocates storage it does not own.
//
// Every reader accepts a null object and gives null, 0 or 0.0. Type-tested
// reads of another type warn at their location and give the same. Object
// records come from the object repository (fatal before Hub_InitializeStatics).
#pragma once
#include <cstdint>

#include "libhub/frames/Symbol.h"

struct Hub_Frame;
struct Hub_BrokerProxy;
struct Hub_Broker;
struct Hub_ByteBuffer;
struct Hub_PointerBuffer;

// Type codes. 8 to 10 are never held by an object: they ask for a frame of a kind.
enum Hub_ObjectType {
  HUB_FREE = 0,  // a destroyed record
  HUB_FRAME = 1,
  HUB_STRING = 2,
  HUB_INT = 3,
  HUB_FLOAT = 4,
  HUB_SYMBOL = 5,
  HUB_LIST = 6,
  HUB_PTR = 7,
  HUB_TOPIC_FRAME = 8,
  HUB_CLAUSE_FRAME = 9,
  HUB_PRED_FRAME = 10,
  HUB_BINARY = 11,
  HUB_INT_16 = 12,
  HUB_INT_32 = 13,
  HUB_INT_64 = 14,
  HUB_FLOAT_32 = 15,
  HUB_FLOAT_64 = 16,
  HUB_KEYWORD = 17,
  HUB_TAG = 18,
  HUB_TOKEN = 19,
  HUB_PROXY = 20,  // a broker proxy; its name is "UNKNOWN"
};

struct Hub_Object {
  int16_t type;            // Hub_ObjectType; HUB_FREE once destroyed
  uintptr_t value;         // a pointer, or for HUB_INT the integer (read it as int32_t)
  int32_t composite;       // 1 for list, array and proxy values
  int32_t useCount;        // raised each time the object is stored as a frame property
  uint32_t managesMemory;  // non-zero: destroying the object destroys its contents
};

typedef void (*Hub_ListElementFree)(void* element);

// Creates the object repository (once, from Hub_InitializeStatics).
void Hub_InitObjectRepository();

// True for the array type codes, HUB_BINARY to HUB_FLOAT_64.
inline bool Hub_IsArrayType(int type) { return type >= HUB_BINARY && type <= HUB_FLOAT_64; }
// Bytes of one element in memory of an array of the type code: 2 for
// HUB_INT_16, 4 for HUB_INT_32 and HUB_FLOAT_32, 8 for HUB_INT_64 and
// HUB_FLOAT_64, 1 for binary data (and any other code).
uint32_t Hub_ArrayElementSize(int type);

// The type's name; "UNKNOWN" after the warning "Can't return string for
// unknown object type %d" for codes outside 0 to 19.
const char* Hub_TypeCodeName(int type);

// ---- makers (null when a record cannot be had, after "Hub_Object allocation error") ----

Hub_Object* Hub_WrapStringObject(char* text, int manages);  // null text: null
Hub_Object* Hub_MakeStringObject(const char* text);         // copies; null text: null
Hub_Object* Hub_WrapTokenObject(char* text, int manages);
Hub_Object* Hub_MakeTokenObject(const char* text);
Hub_Object* Hub_MakeIntObject(int32_t value);
Hub_Object* Hub_WrapFloatObject(float* value, int manages);  // `value` from malloc when managed
Hub_Object* Hub_MakeFloatObject(float value);
Hub_Object* Hub_WrapFrameObject(Hub_Frame* frame, int manages);  // null frame: null
Hub_Object* Hub_MakeFrameObject(Hub_Frame* frame);               // owns the frame
Hub_Object* Hub_MakePointerObject(void* pointer);                // manages nothing
// Only HUB_SYMBOL, HUB_KEYWORD and HUB_TAG; another code warns and gives null.
Hub_Object* Hub_MakeSymbolicObject(Hub_Symbol symbol, int type);
Hub_Object* Hub_MakeSymbolObject(const char* text);
Hub_Object* Hub_MakeKeywordObject(const char* text);
Hub_Object* Hub_MakeTagObject(const char* text);
// A list over the caller's array (from malloc when `manages`: the list then
// owns it); expandable (a full list copies into storage of its own, so an
// unowned array is never reallocated). `freeElement` runs on elements replaced
// and on every element when the list is destroyed; Hub_FreeListElement
// destroys objects.
Hub_Object* Hub_WrapListObject(Hub_Object** elements, int32_t count,
                               Hub_ListElementFree freeElement, int manages);
// A list over a copy of the array of pointers that takes over the objects; not
// expandable.
Hub_Object* Hub_MakeListObject(Hub_Object* const* elements, int32_t count);
Hub_Object* Hub_MakeListObjectOfArgs(int32_t count, ...);
// The element free function of lists made by the library: Hub_DestroyObject.
void Hub_FreeListElement(void* element);
Hub_Object* Hub_WrapBinaryObject(void* bytes, int32_t size, int manages);
Hub_Object* Hub_MakeBinaryObject(const void* bytes, int32_t size);
Hub_Object* Hub_WrapInt16ArrayObject(void* elements, int32_t count, int manages);
Hub_Object* Hub_WrapInt32ArrayObject(void* elements, int32_t count, int manages);
Hub_Object* Hub_WrapInt64ArrayObject(void* elements, int32_t count, int manages);
Hub_Object* Hub_WrapFloat32ArrayObject(void* elements, int32_t count, int manages);
Hub_Object* Hub_WrapFloat64ArrayObject(void* elements, int32_t count, int manages);
// The one of the five above (or Hub_WrapBinaryObject) for the array type code.
Hub_Object* Hub_WrapArrayObject(int type, void* elements, int32_t count, int manages);
// Only codes 11 to 16; another code warns and gives null (the buffer stays the caller's).
Hub_Object* Hub_WrapBufferObject(Hub_ByteBuffer* buffer, int type, int manages);
Hub_Object* Hub_MakeProxyObject(Hub_BrokerProxy* proxy);  // null proxy: null
Hub_Object* Hub_WrapProxyObject(Hub_BrokerProxy* proxy, int manages);

// ---- reading ----

int Hub_ObjectTypeCode(const Hub_Object* object);  // 0 for null
const char* Hub_ObjectTypeName(const Hub_Object* object);
// The type code, except that a frame object reports its frame's kind as 8, 9
// or 10 (0 for any other kind).
int Hub_ObjectReportedType(const Hub_Object* object);
uintptr_t Hub_ObjectRawValue(const Hub_Object* object);

// The one type-tested read. The value word when the type is `type` (the object
// itself for lists and arrays); the frame when the object is a frame of the
// kind `type` (8, 9, 10) asks for; otherwise null, after a warning at
// `location` when one is given ("Object (key %s) type %s does not match
// specified type %s" with a key, else "Object type %s does not match specified
// type %s").
void* Hub_ObjectValueAs(const Hub_Object* object, int type, const char* location, const char* key);
Hub_Frame* Hub_ObjectFrame(const Hub_Object* object);
Hub_Frame* Hub_ObjectClauseFrame(const Hub_Object* object);
Hub_Frame* Hub_ObjectTopicFrame(const Hub_Object* object);
Hub_Frame* Hub_ObjectPredicateFrame(const Hub_Object* object);
void* Hub_ObjectPointer(const Hub_Object* object);
int32_t Hub_ObjectInt(const Hub_Object* object);
float Hub_ObjectFloat(const Hub_Object* object);
Hub_BrokerProxy* Hub_ObjectProxy(const Hub_Object* object);
// The name of a symbol, keyword or tag; null after a warning for other types.
const char* Hub_ObjectSymbolName(const Hub_Object* object);
// The text of a string or token (owned by the object); null after a warning
// quoting the object for other types.
const char* Hub_ObjectText(const Hub_Object* object);
// Text bytes of a string, content bytes of an array, 0 otherwise.
int32_t Hub_ObjectLength(const Hub_Object* object);

// ---- lists (other types give null or 0) ----

// The element array and count; null and 0 after the type warning for non-lists.
Hub_Object** Hub_ObjectListElements(const Hub_Object* object, int32_t* count);
int32_t Hub_ListObjectLength(const Hub_Object* object);
Hub_Object* Hub_ListObjectElement(const Hub_Object* object, int32_t index);
// Replaces the element (the free function runs on the one replaced unless it is
// the same object): 1, or 0 past the end.
int Hub_ListObjectSetElement(Hub_Object* object, int32_t index, Hub_Object* element);
// 1, or 0 when the list is not expandable (the element stays the caller's).
int Hub_ListObjectAppend(Hub_Object* object, Hub_Object* element);
int Hub_ListObjectIsExpandable(const Hub_Object* object);
void* Hub_ListObjectElementAs(const Hub_Object* object, int32_t index, int type);

// ---- arrays (codes 11 to 16) ----

// The contents and (when asked for) the element count; null and 0 for other types.
void* Hub_ArrayObjectContents(const Hub_Object* object, int32_t* count);
// The contents of an array of the code, after the type-tested read (warning).
void* Hub_ObjectArrayOfType(const Hub_Object* object, int32_t* count, int type);
void* Hub_GetBinary(const Hub_Object* object, int32_t* size);
void* Hub_GetInt16Array(const Hub_Object* object, int32_t* count);
void* Hub_GetInt32Array(const Hub_Object* object, int32_t* count);
void* Hub_GetInt64Array(const Hub_Object* object, int32_t* count);
void* Hub_GetFloat32Array(const Hub_Object* object, int32_t* count);
void* Hub_GetFloat64Array(const Hub_Object* object, int32_t* count);
// The element count of an array of the code; 0 for any other type.
int32_t Hub_ArraySizeOfType(const Hub_Object* object, int type);
// Appends `count` elements: 1, or 0 for other types or a buffer that cannot grow.
int Hub_AppendToArrayObject(Hub_Object* object, const void* elements, int32_t count);
int Hub_ArrayObjectIsExpandable(const Hub_Object* object);

// ---- type predicates (false for null) ----

bool Hub_IsFrameObject(const Hub_Object* object);
bool Hub_IsStringObject(const Hub_Object* object);
bool Hub_IsIntObject(const Hub_Object* object);
bool Hub_IsFloatObject(const Hub_Object* object);
bool Hub_IsSymbolObject(const Hub_Object* object);
bool Hub_IsListObject(const Hub_Object* object);
bool Hub_IsPointerObject(const Hub_Object* object);
bool Hub_IsBinaryObject(const Hub_Object* object);
bool Hub_IsInt16ArrayObject(const Hub_Object* object);
bool Hub_IsInt32ArrayObject(const Hub_Object* object);
bool Hub_IsInt64ArrayObject(const Hub_Object* object);
bool Hub_IsFloat32ArrayObject(const Hub_Object* object);
bool Hub_IsFloat64ArrayObject(const Hub_Object* object);
bool Hub_IsKeywordObject(const Hub_Object* object);
bool Hub_IsTagObject(const Hub_Object* object);
bool Hub_IsTokenObject(const Hub_Object* object);
bool Hub_IsProxyObject(const Hub_Object* object);
bool Hub_IsTopicFrameObject(const Hub_Object* object);
bool Hub_IsClauseFrameObject(const Hub_Object* object);
bool Hub_IsPredicateFrameObject(const Hub_Object* object);

// ---- broker proxy objects ----

Hub_Broker* Hub_ObjectInBroker(const Hub_Object* object);  // null for other types
// A proxy's data type; the object's own type code otherwise.
int Hub_ObjectDataType(const Hub_Object* object);
// A proxy's carried object when it has one; the object itself otherwise.
Hub_Object* Hub_ObjectProxiedValue(Hub_Object* object);

// ---- comparing, copying, destroying ----

// Equality (`match` clear) or matching of candidate `a` against pattern `b`
// (`match` set); lists pair elements greedily, in order.
bool Hub_CompareObjects(const Hub_Object* a, const Hub_Object* b, bool ignoreCase, bool match);
bool Hub_ObjectsAreEqual(const Hub_Object* a, const Hub_Object* b);
bool Hub_ObjectsAreEqualIgnoringCase(const Hub_Object* a, const Hub_Object* b);
bool Hub_ObjectMatchesPattern(const Hub_Object* candidate, const Hub_Object* pattern);

// A new object of the same type with newly made contents that it manages
// (symbols and pointers are shared); null for null or an unknown code.
Hub_Object* Hub_DeepCopyObject(const Hub_Object* object);

// Destroys the object (its contents too when it manages them). Null and
// destroyed records (type 0) are left alone.
void Hub_DestroyObject(Hub_Object* object);
// The same at an explicit nesting level, handed on raised by one to a frame.
void Hub_DestroyObjectAtDepth(Hub_Object* object, int level);
// Gives the record back; frees nothing but a managed float's storage.
void Hub_ReleaseObjectShallow(Hub_Object* object);
