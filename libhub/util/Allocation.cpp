#include "libhub/util/Allocation.h"

#include <cstdlib>
#include <cstring>

#include "libhub/util/Print.h"

void* HubUtil_AllocateZeroed(size_t count, size_t size, const char* failureMessage) {
  void* memory = calloc(count, size);
  HubUtil_Assert(memory != nullptr, "%s", failureMessage);
  return memory;
}

char* HubUtil_CopyText(const char* text, const char* failureMessage) {
  if (!text) return nullptr;
  char* copy = strdup(text);
  HubUtil_Assert(copy != nullptr, "%s", failureMessage);
  return copy;
}
