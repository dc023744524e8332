#include "libhub/util/DynamicBuffer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"

namespace {

const char* const kLocation = "libhub/frames/dynamic_buffer";
Hub_Repository* g_stringBuffers = nullptr;
Hub_Repository* g_pointerBuffers = nullptr;

// Storage of a buffer, counted in units of `unit` bytes.
struct Storage {
  char** data;
  int32_t* capacity;
  uint32_t* flags;
  uint32_t growthStep;
  int32_t reserve;
  size_t unit;
};

// Makes room for `more` units behind `used` (see the header for the rule).
bool MakeRoom(const Storage& s, int64_t used, int64_t more) {
  int64_t needed = used + more;
  int64_t capacity = *s.capacity;
  if (capacity - needed >= s.reserve) return true;
  if (!(*s.flags & HUB_BUFFER_GROWS) || s.growthStep == 0) return false;
  int64_t missing = needed + s.reserve - capacity;
  capacity += (missing + s.growthStep - 1) / s.growthStep * s.growthStep;
  if (capacity > INT32_MAX / static_cast<int64_t>(s.unit)) return false;
  char* grown;
  if ((*s.flags & HUB_BUFFER_OWNS) && *s.data) {
    grown = static_cast<char*>(realloc(*s.data, capacity * s.unit));
  } else {
    // Storage of the caller's is copied, never reallocated; from now on the
    // buffer owns storage of its own.
    grown = static_cast<char*>(calloc(capacity, s.unit));
    if (grown && *s.data && used > 0) memcpy(grown, *s.data, used * s.unit);
  }
  if (!grown) return false;
  *s.data = grown;
  *s.capacity = static_cast<int32_t>(capacity);
  *s.flags |= HUB_BUFFER_OWNS;
  return true;
}

// A count or capacity given by a caller; a negative one counts as 0, so that
// no size below 0 can ever be stored.
int32_t NotNegative(int32_t value) { return value < 0 ? 0 : value; }

uint32_t FlagsOf(int owns, int grows) {
  return (owns ? HUB_BUFFER_OWNS : 0) | (grows ? HUB_BUFFER_GROWS : 0);
}

// A record from the repository (kept storage) or a new zeroed one; null after
// the warning when none could be had.
void* TakeRecord(bool fromRepository, Hub_Repository* repository, size_t size,
                 const char* uninitialized, const char* failure) {
  void* record;
  if (fromRepository) {
    if (!repository) HubUtil_PrintFatal("%s", uninitialized);
    record = Hub_RepositoryTake(repository, nullptr);
  } else {
    record = calloc(1, size);
  }
  if (!record) HubUtil_PrintWarningAt(kLocation, failure);
  return record;
}

// Gives a record back (keeping its storage unless repositories allocate plainly)
// or frees it with its owned storage.
void ReleaseRecord(void* record, uint32_t flags, void* storage, Hub_Repository* repository) {
  if (flags & HUB_BUFFER_REPOSITORY) {
    if (Hub_RepositoriesUsePlainAllocation()) free(storage);
    Hub_RepositoryGive(repository, record);
  } else {
    if (flags & HUB_BUFFER_OWNS) free(storage);
    free(record);
  }
}

Storage StorageOf(Hub_ByteBuffer* b) {
  return {&b->data, &b->capacity, &b->flags, b->growthStep, b->reserve, 1};
}

Storage StorageOf(Hub_PointerBuffer* b) {
  return {reinterpret_cast<char**>(&b->elements), &b->capacity, &b->flags, b->growthStep,
          b->reserve, sizeof(void*)};
}

bool EnsureBytes(Hub_ByteBuffer* buffer, int64_t bytes) {
  return MakeRoom(StorageOf(buffer), buffer->size, bytes);
}

void FreeElement(const Hub_PointerBuffer* buffer, void* element) {
  if (buffer->freeElement && element) buffer->freeElement(element);
}

}  // namespace

void Hub_InitDynamicBufferRepositories() {
  g_stringBuffers = Hub_CreateRepository(sizeof(Hub_ByteBuffer), 100);
  g_pointerBuffers = Hub_CreateRepository(sizeof(Hub_PointerBuffer), 100);
}

// ---- byte buffers ----

Hub_ByteBuffer* Hub_MakeByteBuffer(char* data, int32_t count, int32_t capacity, int owns,
                                   int grows, uint32_t growthStep, int32_t reserve,
                                   uint32_t elementSize) {
  bool fromRepository = owns && grows && !data;
  auto* buffer = static_cast<Hub_ByteBuffer*>(
      TakeRecord(fromRepository, g_stringBuffers, sizeof(Hub_ByteBuffer),
                 "String buffer memory not initialized; call Hub_InitializeStatics()",
                 "String buffer allocation error\n"));
  if (!buffer) return nullptr;
  if (fromRepository) {
    buffer->flags = FlagsOf(1, 1) | HUB_BUFFER_REPOSITORY;
    if (buffer->data && buffer->capacity > 0) buffer->data[0] = '\0';
  } else {
    buffer->flags = FlagsOf(owns, grows);
    buffer->data = data;
    buffer->capacity = data ? NotNegative(capacity) : 0;
  }
  buffer->size = data ? NotNegative(count) * static_cast<int32_t>(elementSize) : 0;
  buffer->growthStep = growthStep;
  buffer->reserve = reserve < 0 ? 0 : reserve;
  buffer->elementSize = elementSize;
  return buffer;
}

Hub_ByteBuffer* Hub_MakeTextBuffer(char* data, int32_t size) {
  if (data) return Hub_MakeByteBuffer(data, size, size, 0, 0, 10240, 1024, 1);
  return Hub_MakeByteBuffer(nullptr, 0, 0, 1, 1, 10240, 1024, 1);
}

int Hub_ByteBufferEnsure(Hub_ByteBuffer* buffer, int32_t count) {
  return EnsureBytes(buffer, static_cast<int64_t>(count) * buffer->elementSize);
}

int Hub_ByteBufferAppend(Hub_ByteBuffer* buffer, const void* elements, int32_t count) {
  if (count < 0) return 0;
  int64_t bytes = static_cast<int64_t>(count) * buffer->elementSize;
  if (!EnsureBytes(buffer, bytes)) return 0;
  if (bytes > 0) memcpy(buffer->data + buffer->size, elements, bytes);
  buffer->size += static_cast<int32_t>(bytes);
  return 1;
}

int Hub_ByteBufferAppendText(Hub_ByteBuffer* buffer, const char* text) {
  size_t length = strlen(text);
  if (!EnsureBytes(buffer, static_cast<int64_t>(length) + 1)) return 0;
  memcpy(buffer->data + buffer->size, text, length + 1);
  buffer->size += static_cast<int32_t>(length);
  return 1;
}

int Hub_ByteBufferAppendFormatV(Hub_ByteBuffer* buffer, int32_t length, const char* format,
                                va_list args) {
  va_list measure;
  va_copy(measure, args);
  int written = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (written < 0) return 0;
  int64_t room = length < 0 ? static_cast<int64_t>(strlen(format)) : length;
  if (room < written) room = written;
  if (!EnsureBytes(buffer, room + 1)) return 0;
  va_list copy;
  va_copy(copy, args);
  vsnprintf(buffer->data + buffer->size, written + 1, format, copy);
  va_end(copy);
  buffer->size += written;
  return 1;
}

int Hub_ByteBufferAppendFormat(Hub_ByteBuffer* buffer, int32_t length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = Hub_ByteBufferAppendFormatV(buffer, length, format, args);
  va_end(args);
  return result;
}

char* Hub_ByteBufferData(const Hub_ByteBuffer* buffer) { return buffer->data; }
int32_t Hub_ByteBufferSize(const Hub_ByteBuffer* buffer) { return buffer->size; }
int32_t Hub_ByteBufferElementCount(const Hub_ByteBuffer* buffer) {
  return buffer->elementSize ? buffer->size / static_cast<int32_t>(buffer->elementSize) : 0;
}
int Hub_ByteBufferCanGrow(const Hub_ByteBuffer* buffer) {
  return (buffer->flags & HUB_BUFFER_GROWS) ? 1 : 0;
}

void Hub_DestroyByteBuffer(Hub_ByteBuffer* buffer) {
  if (!buffer) return;
  ReleaseRecord(buffer, buffer->flags, buffer->data, g_stringBuffers);
}

// ---- pointer buffers ----

Hub_PointerBuffer* Hub_MakePointerBuffer(void** elements, uint32_t elementType, int32_t count,
                                         int32_t capacity, int owns, int grows,
                                         Hub_ElementFree freeElement, uint32_t growthStep,
                                         int32_t reserve) {
  bool fromRepository = owns && grows && !elements;
  auto* buffer = static_cast<Hub_PointerBuffer*>(
      TakeRecord(fromRepository, g_pointerBuffers, sizeof(Hub_PointerBuffer),
                 "Pointer buffer memory not initialized; call Hub_InitializeStatics()",
                 "Pointer buffer allocation error\n"));
  if (!buffer) return nullptr;
  if (fromRepository) {
    buffer->flags = FlagsOf(1, 1) | HUB_BUFFER_REPOSITORY;
  } else {
    buffer->flags = FlagsOf(owns, grows);
    buffer->elements = elements;
    buffer->capacity = elements ? NotNegative(capacity) : 0;
  }
  buffer->count = elements ? NotNegative(count) : 0;
  buffer->elementType = elementType;
  buffer->freeElement = freeElement;
  buffer->growthStep = growthStep;
  buffer->reserve = reserve < 0 ? 0 : reserve;
  return buffer;
}

int Hub_PointerBufferAppend(Hub_PointerBuffer* buffer, void* const* elements, int32_t count) {
  if (count < 0) return 0;
  if (!MakeRoom(StorageOf(buffer), buffer->count, count)) return 0;
  if (count > 0) memcpy(buffer->elements + buffer->count, elements, count * sizeof(void*));
  buffer->count += count;
  return 1;
}

int Hub_PointerBufferAppendOne(Hub_PointerBuffer* buffer, void* element) {
  return Hub_PointerBufferAppend(buffer, &element, 1);
}

int Hub_PointerBufferRemove(Hub_PointerBuffer* buffer, void* element) {
  for (int32_t i = 0; i < buffer->count; ++i) {
    if (buffer->elements[i] != element) continue;
    FreeElement(buffer, element);
    memmove(buffer->elements + i, buffer->elements + i + 1,
            (buffer->count - i - 1) * sizeof(void*));
    buffer->elements[--buffer->count] = nullptr;
    return 1;
  }
  return 0;
}

void* Hub_PointerBufferElement(const Hub_PointerBuffer* buffer, int32_t index) {
  return (index >= 0 && index < buffer->count) ? buffer->elements[index] : nullptr;
}

int Hub_PointerBufferSet(Hub_PointerBuffer* buffer, int32_t index, void* element) {
  if (index < 0 || index >= buffer->count) return 0;
  void* replaced = buffer->elements[index];
  buffer->elements[index] = element;
  if (replaced != element) FreeElement(buffer, replaced);
  return 1;
}

void** Hub_PointerBufferElements(const Hub_PointerBuffer* buffer) { return buffer->elements; }
int32_t Hub_PointerBufferCount(const Hub_PointerBuffer* buffer) { return buffer->count; }
int Hub_PointerBufferCanGrow(const Hub_PointerBuffer* buffer) {
  return (buffer->flags & HUB_BUFFER_GROWS) ? 1 : 0;
}

Hub_PointerBuffer* Hub_CopyPointerBuffer(const Hub_PointerBuffer* buffer, Hub_ElementCopy copy,
                                         Hub_ElementFree freeElement) {
  int grows = (buffer->flags & HUB_BUFFER_GROWS) ? 1 : 0;
  if (!(buffer->flags & HUB_BUFFER_OWNS)) {
    return Hub_MakePointerBuffer(buffer->elements, buffer->elementType, buffer->count,
                                 buffer->capacity, 0, grows, nullptr, buffer->growthStep,
                                 buffer->reserve);
  }
  if (copy && !freeElement && !buffer->freeElement) {
    HubUtil_PrintWarning("Can't pass a copy function to copy a pointer buffer with a free function");
    return nullptr;
  }
  Hub_ElementFree newFree = copy ? (freeElement ? freeElement : buffer->freeElement) : nullptr;
  void** elements = nullptr;
  if (buffer->count > 0) {
    elements = static_cast<void**>(malloc(buffer->count * sizeof(void*)));
    if (!elements) {
      HubUtil_PrintWarningAt(kLocation, "Pointer buffer allocation error\n");
      return nullptr;
    }
    for (int32_t i = 0; i < buffer->count; ++i) {
      elements[i] = copy ? copy(buffer->elements[i]) : buffer->elements[i];
    }
  }
  Hub_PointerBuffer* result =
      Hub_MakePointerBuffer(elements, buffer->elementType, buffer->count, buffer->count, 1, grows,
                            newFree, buffer->growthStep, buffer->reserve);
  if (!result && elements) {
    for (int32_t i = 0; copy && newFree && i < buffer->count; ++i) newFree(elements[i]);
    free(elements);
  }
  return result;
}

void Hub_DestroyPointerBuffer(Hub_PointerBuffer* buffer) {
  if (!buffer) return;
  for (int32_t i = 0; i < buffer->count; ++i) FreeElement(buffer, buffer->elements[i]);
  buffer->count = 0;
  ReleaseRecord(buffer, buffer->flags, buffer->elements, g_pointerBuffers);
}
