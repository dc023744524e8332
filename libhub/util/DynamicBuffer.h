// Dynamic buffers: the byte buffer (text being printed, numeric arrays, bulk
// data) and the pointer buffer (the elements of a list object).
//
// Growth: making room for k more elements succeeds at once while
// capacity − (in use + k) ≥ reserve; otherwise a buffer that may grow raises
// its capacity by its growth step until that holds. A buffer over the caller's
// storage copies into storage of its own when it grows (and owns it from then
// on); the caller's storage is never reallocated. A failed growth changes
// nothing and gives 0.
//
// An owning, growing buffer made without storage comes from its repository
// (flags 7) and keeps its storage across reuse; other buffers are allocated.
// Buffers are not locked: one user at a time.
#pragma once
#include <cstdarg>
#include <cstdint>

// Flags of both buffers.
constexpr uint32_t HUB_BUFFER_OWNS = 1;        // the buffer frees its storage
constexpr uint32_t HUB_BUFFER_GROWS = 2;       // the buffer may grow
constexpr uint32_t HUB_BUFFER_REPOSITORY = 4;  // the record came from its repository

struct Hub_ByteBuffer {
  char* data;
  int32_t size;          // bytes in use
  int32_t capacity;      // bytes allocated
  uint32_t flags;
  uint32_t growthStep;   // bytes added per growth step
  int32_t reserve;       // bytes that stay free after every append
  uint32_t elementSize;  // 1 for text and bytes; 2, 4 or 8 for numeric arrays
};

typedef void (*Hub_ElementFree)(void* element);
typedef void* (*Hub_ElementCopy)(void* element);

struct Hub_PointerBuffer {
  void** elements;
  uint32_t elementType;  // lists of objects use 7
  int32_t count;
  int32_t capacity;
  Hub_ElementFree freeElement;  // called with an element replaced, removed or destroyed
  uint32_t flags;
  uint32_t growthStep;  // elements added per growth step
  int32_t reserve;      // elements that stay free after every append
};

// Creates the string buffer and pointer buffer repositories (once, from
// Hub_InitializeStatics).
void Hub_InitDynamicBufferRepositories();

// ---- byte buffers ----

// With data: a buffer over it, size = count × elementSize, the given capacity
// in bytes. Without: size 0. Owning + growing + no data: a repository record
// (fatal before Hub_InitializeStatics; null with a warning when none could be
// had). A negative count, capacity or reserve counts as 0.
Hub_ByteBuffer* Hub_MakeByteBuffer(char* data, int32_t count, int32_t capacity, int owns,
                                   int grows, uint32_t growthStep, int32_t reserve,
                                   uint32_t elementSize);
// With data: over the caller's `size` bytes, neither owning nor growing. Without:
// an empty owning, growing text buffer. Step 10240, reserve 1024, element size 1.
Hub_ByteBuffer* Hub_MakeTextBuffer(char* data, int32_t size);
// Makes room for `count` more elements: 1, or 0 when it cannot (nothing changes).
int Hub_ByteBufferEnsure(Hub_ByteBuffer* buffer, int32_t count);
// Appends count × elementSize bytes: 1, or 0 (nothing changes; also for a
// negative count).
int Hub_ByteBufferAppend(Hub_ByteBuffer* buffer, const void* elements, int32_t count);
// Appends the text at the buffer's size and keeps it terminated (the NUL is not
// counted in the size): 1, or 0 (nothing changes).
int Hub_ByteBufferAppendText(Hub_ByteBuffer* buffer, const char* text);
// Formats at the buffer's size, terminated, and advances the size by the length
// written. Room is made for the longer of the formatted length and `length`
// (-1: the format's own length). 1, or 0 (nothing changes).
int Hub_ByteBufferAppendFormat(Hub_ByteBuffer* buffer, int32_t length, const char* format, ...);
int Hub_ByteBufferAppendFormatV(Hub_ByteBuffer* buffer, int32_t length, const char* format,
                                va_list args);
char* Hub_ByteBufferData(const Hub_ByteBuffer* buffer);
int32_t Hub_ByteBufferSize(const Hub_ByteBuffer* buffer);          // bytes
int32_t Hub_ByteBufferElementCount(const Hub_ByteBuffer* buffer);  // size / element size
int Hub_ByteBufferCanGrow(const Hub_ByteBuffer* buffer);
// A repository record goes back with its data kept for reuse; otherwise the
// data is freed when owned, then the record. Null is ignored.
void Hub_DestroyByteBuffer(Hub_ByteBuffer* buffer);

// ---- pointer buffers ----

// The same rule as byte buffers; with an array: the given count and capacity.
Hub_PointerBuffer* Hub_MakePointerBuffer(void** elements, uint32_t elementType, int32_t count,
                                         int32_t capacity, int owns, int grows,
                                         Hub_ElementFree freeElement, uint32_t growthStep,
                                         int32_t reserve);
// Appends `count` elements: 1, or 0 (nothing changes; also for a negative count).
int Hub_PointerBufferAppend(Hub_PointerBuffer* buffer, void* const* elements, int32_t count);
int Hub_PointerBufferAppendOne(Hub_PointerBuffer* buffer, void* element);
// Removes the first element equal to `element`, running the free function on
// it; later elements move down. 1 when found, else 0.
int Hub_PointerBufferRemove(Hub_PointerBuffer* buffer, void* element);
// The element, or null at or past the count (or below 0).
void* Hub_PointerBufferElement(const Hub_PointerBuffer* buffer, int32_t index);
// Replaces an element, running the free function on the one replaced (unless
// it is the same element): 1, or 0 at or past the count.
int Hub_PointerBufferSet(Hub_PointerBuffer* buffer, int32_t index, void* element);
void** Hub_PointerBufferElements(const Hub_PointerBuffer* buffer);
int32_t Hub_PointerBufferCount(const Hub_PointerBuffer* buffer);
int Hub_PointerBufferCanGrow(const Hub_PointerBuffer* buffer);
// A new buffer with the same element type, owning and growth flags, step and
// reserve. An owning source is copied into a new array: each element through
// `copy` (the new buffer frees with `freeElement`, else the source's), or shared
// without `copy` (no free function). A source that does not own its array
// shares it, with no free function. `copy` for an owning source with no free
// function at all is refused: warning "Can't pass a copy function to copy a
// pointer buffer with a free function", null.
Hub_PointerBuffer* Hub_CopyPointerBuffer(const Hub_PointerBuffer* buffer, Hub_ElementCopy copy,
                                         Hub_ElementFree freeElement);
// Runs the free function on every element, then gives back or frees as for byte
// buffers. Null is ignored.
void Hub_DestroyPointerBuffer(Hub_PointerBuffer* buffer);
