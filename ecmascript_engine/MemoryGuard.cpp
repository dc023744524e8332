#include "ecmascript_engine/MemoryGuard.h"

#include <js/GCAPI.h>
#include <js/MemoryMetrics.h>
#include <js/RootingAPI.h>

#include "platform/HeapUsage.h"

void MemoryGuard::RunStarts() {
  runStartHeap_ = platform::HeapBytesInUse();
  running_ = true;
}

void MemoryGuard::RunEnded() {
  grownBefore_ = GrowthSinceMeasure();
  running_ = false;
}

// What the allocator handed out while runs went on; what it took back counts
// for nothing, so this never falls short of the engine's own growth. Between
// runs that is the figure the last run left (no reading is taken).
std::size_t MemoryGuard::GrowthSinceMeasure() const {
  if (!running_) return grownBefore_;
  const std::size_t now = platform::HeapBytesInUse();
  return grownBefore_ + (now > runStartHeap_ ? now - runStartHeap_ : 0);
}

bool MemoryGuard::Over(JS::HandleObject global) {
  const std::size_t grown = GrowthSinceMeasure();
  if (grown < kRemeasureAfter || measured_ + grown <= limit_) return false;
  measured_ = Measure(global);
  if (measured_ > limit_) {
    release_();
    JS::PrepareForFullGC(cx_);
    JS::NonIncrementalGC(cx_, JS::GCOptions::Shrink, JS::GCReason::API);
    measured_ = Measure(global);
  }
  grownBefore_ = 0;
  runStartHeap_ = platform::HeapBytesInUse();
  return measured_ > limit_;
}

std::size_t MemoryGuard::Measure(JS::HandleObject global) {
  JS::TabSizes sizes;
  if (!JS::AddSizeOfTab(cx_, global, platform::BlockSize, nullptr, &sizes)) return limit_ + 1;
  return sizes.objects_ + sizes.strings_ + sizes.private_ + sizes.other_;
}
