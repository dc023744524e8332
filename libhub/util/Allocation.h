// Allocation that the library cannot go on without: a failure is fatal,
// with the caller's message (through HubUtil_Assert).
#pragma once
#include <cstddef>

// Zero-filled storage for count records of size bytes; free it with free().
void* HubUtil_AllocateZeroed(size_t count, size_t size, const char* failureMessage);
// A copy of the text, freed with free(); null for a null text.
char* HubUtil_CopyText(const char* text, const char* failureMessage);
