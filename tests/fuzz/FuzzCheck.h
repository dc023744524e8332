// The property checks of the fuzz targets. A check that fails prints what
// failed and where, then aborts: libFuzzer keeps the input as a finding, and
// the replay of a seed corpus fails.
#pragma once
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : FuzzCheckFailed(#condition, __FILE__, __LINE__))
