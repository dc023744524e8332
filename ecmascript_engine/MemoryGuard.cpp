#include "ecmascript_engine/MemoryGuard.h"

#include <js/MemoryMetrics.h>
#include <js/PropertyAndElement.h>
#include <js/String.h>
#include <jsfriendapi.h>

#include "platform/HeapUsage.h"

namespace {

// `now` less `before`, never below nothing: what a figure grew by, a fall
// counting for nothing.
std::size_t Growth(std::size_t now, std::size_t before) { return now > before ? now - before : 0; }

}  // namespace

std::unique_ptr<MemoryGuard> MemoryGuard::Start(JSContext* cx, std::size_t limit,
                                                std::function<void()> release) {
  JS::RootedObject counters(cx, js::gc::NewMemoryInfoObject(cx));
  JSString* name = JS_AtomizeAndPinString(cx, "mallocBytes");
  if (!counters || !name) return nullptr;
  std::unique_ptr<MemoryGuard> guard(new MemoryGuard(
      cx, counters, JS::PropertyKey::fromPinnedString(name), limit, std::move(release)));
  guard->Rebase();
  return guard;
}

void MemoryGuard::RunStarts() {
  allocatorStart_ = platform::HeapBytesInUse();
  running_ = true;
}

void MemoryGuard::RunEnded() {
  const std::size_t collector = CollectorBytes();
  grownBefore_ += Growth(platform::HeapBytesInUse(), allocatorStart_) +
                  Growth(collector, collectorStart_);
  collectorStart_ = collector;
  running_ = false;
}

// The collector's heap and what the things of every zone own outside it
// (what they own through the allocator the allocator's figure counts too).
// Only the engine changes these figures, so their change between runs (what
// the collector's helper threads free) counts with the next run's.
std::size_t MemoryGuard::CollectorBytes() {
  std::size_t owned = 0;
  Counter(counters_, ownedName_, &owned);
  return JS_GetGCParameter(cx_, JSGC_BYTES) + owned;
}

// A number figure of the collector's (a property of a MemoryInfo object).
bool MemoryGuard::Counter(JS::HandleObject counters, jsid name, std::size_t* bytes) {
  JS::RootedId id(cx_, name);
  JS::RootedValue value(cx_);
  if (!JS_GetPropertyById(cx_, counters, id, &value) || !value.isNumber()) return false;
  *bytes = static_cast<std::size_t>(value.toNumber());
  return true;
}

// The allocator's figure from this run's start, the collector's from the end
// of the last run (or the last measure). Between runs that is the growth the
// last run left (no reading is taken).
std::size_t MemoryGuard::GrowthSinceMeasure() {
  if (!running_) return grownBefore_;
  return grownBefore_ + Growth(platform::HeapBytesInUse(), allocatorStart_) +
         Growth(CollectorBytes(), collectorStart_);
}

void MemoryGuard::Rebase() {
  grownBefore_ = 0;
  allocatorStart_ = platform::HeapBytesInUse();
  collectorStart_ = CollectorBytes();
}

bool MemoryGuard::Over(JS::HandleObject global) {
  const std::size_t grown = GrowthSinceMeasure();
  if (grown < kRemeasureAfter || measured_ + grown <= limit_) return false;
  measured_ = CollectAndMeasure(global, JS::GCOptions::Normal);
  if (measured_ > limit_) {
    release_();
    measured_ = CollectAndMeasure(global, JS::GCOptions::Shrink);
  }
  Rebase();
  return measured_ > limit_;
}

std::size_t MemoryGuard::CollectAndMeasure(JS::HandleObject global, JS::GCOptions options) {
  JS::PrepareForFullGC(cx_);
  JS::NonIncrementalGC(cx_, options, JS::GCReason::API);
  return Measure(global);
}

// The global's zone thing by thing; the other zones by the collector's
// counts: their cells, and what those own outside the heap.
std::size_t MemoryGuard::Measure(JS::HandleObject global) {
  JS::TabSizes sizes;
  JS::RootedValue zone(cx_);
  std::size_t owned = 0;
  std::size_t ownedByZone = 0;
  if (!JS::AddSizeOfTab(cx_, global, platform::BlockSize, nullptr, &sizes) ||
      !Counter(counters_, ownedName_, &owned) || !JS_GetProperty(cx_, counters_, "zone", &zone) ||
      !zone.isObject()) {
    return limit_ + 1;
  }
  JS::RootedObject zoneCounters(cx_, &zone.toObject());
  if (!Counter(zoneCounters, ownedName_, &ownedByZone)) return limit_ + 1;
  // Differences of figures read apart, so never taken below nothing.
  const std::size_t otherCells =
      Growth(JS_GetGCParameter(cx_, JSGC_BYTES), js::GetGCHeapUsageForObjectZone(global));
  return sizes.objects_ + sizes.strings_ + sizes.private_ + sizes.other_ + otherCells +
         Growth(owned, ownedByZone);
}
