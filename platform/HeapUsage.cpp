#include "platform/HeapUsage.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own figure (declared here: GCC ships no header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace platform {

// The sanitizer's allocator takes the place of the C library's, whose own
// figures then read 0.
std::size_t HeapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

std::size_t BlockSize(const void* block) { return malloc_usable_size(const_cast<void*>(block)); }

}  // namespace platform
