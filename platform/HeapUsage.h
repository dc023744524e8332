// The memory the process's allocator has handed out and not yet taken back,
// for code that must notice how fast memory grows (the script engine's
// memory limit). A cheap reading: no walk over the allocated blocks.
#pragma once
#include <cstddef>

namespace platform {

// Bytes allocated through malloc and its kin, and not freed, in the whole
// process (every thread).
std::size_t HeapBytesInUse();

// The usable size of a block that malloc handed out (not null).
std::size_t BlockSize(const void* block);

}  // namespace platform
