// The engine's memory limit, over everything its scripts hold: the collected
// heap and the memory its things own outside it (array elements, string
// characters, buffers), which the collector's own limit does not bind.
//
// Measuring all that walks the whole heap, so the guard measures only once
// the process's allocator has handed out more, during runs since the last
// measure, than the room left below the limit (and at least kRemeasureAfter
// bytes): a short run that allocates little costs two readings of the
// allocator's figure, at its start and its end. When a
// measure passes the limit, garbage is collected and the engine measured
// again, after the release hook has let go of what the engine keeps only to
// be quick (its compiled scripts). Engine thread only, inside the engine's
// realm.
#pragma once

#include <js/TypeDecls.h>

#include <cstddef>
#include <functional>
#include <utility>

class MemoryGuard {
 public:
  // The least growth that makes the guard measure again.
  static constexpr std::size_t kRemeasureAfter = 256 * 1024;

  // The release hook (required) is called before the guard collects.
  MemoryGuard(JSContext* cx, std::size_t limit, std::function<void()> release)
      : cx_(cx), limit_(limit), release_(std::move(release)) {}

  // Bracket every run; Over may be called in between (from the interrupt
  // callback) and after RunEnded.
  void RunStarts();
  void RunEnded();

  // Whether the engine holds more than the limit once its garbage is
  // collected; false without measuring while it cannot have grown past it.
  // The global object stands for the engine's heap.
  bool Over(JS::HandleObject global);

 private:
  std::size_t GrowthSinceMeasure() const;
  std::size_t Measure(JS::HandleObject global);

  JSContext* cx_;
  const std::size_t limit_;
  std::function<void()> release_;
  std::size_t measured_ = 0;      // the engine's size at the last measure
  std::size_t grownBefore_ = 0;   // the allocator's growth in earlier runs since then
  std::size_t runStartHeap_ = 0;  // the allocator's figure when this run started
  bool running_ = false;          // between RunStarts and RunEnded
};
