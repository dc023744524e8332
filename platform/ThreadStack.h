// The stack of the calling thread, for code that must know how deep it may
// still go (the script engine's recursion limit).
#pragma once
#include <cstdint>

namespace platform {

// The lowest address of the calling thread's stack (stacks grow down), or 0
// when the system cannot tell.
std::uintptr_t StackLowEnd();

}  // namespace platform
