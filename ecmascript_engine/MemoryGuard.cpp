#include "ecmascript_engine/MemoryGuard.h"

#include <js/HeapAPI.h>
#include <js/MemoryMetrics.h>
#include <js/PropertyAndElement.h>
#include <js/String.h>
#include <jsfriendapi.h>

#include "platform/HeapUsage.h"

namespace {

// `now` less `before`, never below nothing: what a figure grew by, a fall
// counting for nothing.
std::size_t Growth(std::size_t now, std::size_t before) { return now > before ? now - before : 0; }

// The machine code compiled in a zone, and the room left in its code pages.
std::size_t CodeBytes(const JS::CodeSizes& code) {
  return code.ion + code.baseline + code.regexp + code.other + code.unused;
}

// What the engine's memory reporter gives of its zones, realms and runtime.
// Each zone's sizes are marked with the zone, so that one zone's can be found.
class EngineSizes : public JS::RuntimeStats {
 public:
  EngineSizes() : JS::RuntimeStats(platform::BlockSize) {}

  // Walks the whole heap; false when that fails. Asked for anonymous sizes,
  // the reporter does not hash the characters of every string, which takes
  // time without bound (a rope may repeat a string a billion times).
  bool Read(JSContext* cx) { return JS::CollectRuntimeStats(cx, this, nullptr, true); }

  // What the zone's things hold, with the realms' (the engine has one realm,
  // in the global's zone), and the zone's machine code; false when the zone
  // was not walked.
  bool OfZone(JS::Zone* zone, std::size_t* bytes) const {
    for (const JS::ZoneStats& walked : zoneStatsVector) {
      if (walked.extra != zone) continue;
      JS::ZoneStats totals;  // the reporter adds its figures up only as totals
      totals.addSizes(walked);
      JS::TabSizes things;
      totals.addToTabSizes(&things);
      realmTotals.addToTabSizes(&things);
      *bytes = things.objects_ + things.strings_ + things.private_ + things.other_ +
               CodeBytes(walked.code);
      return true;
    }
    return false;
  }

  void initExtraRealmStats(JS::Realm*, JS::RealmStats*, const JS::AutoRequireNoGC&) override {}
  void initExtraZoneStats(JS::Zone* zone, JS::ZoneStats* stats,
                          const JS::AutoRequireNoGC&) override {
    stats->extra = zone;
  }
};

// What the runtime keeps for every zone's scripts and functions: their texts
// (compressed or not, and those it uncompressed again), their ScriptSource
// records, their bytecode and other shared data.
std::size_t ScriptBytes(const JS::RuntimeSizes& runtime) {
  // The records are counted by file name; those of a name that has many are
  // listed apart.
  std::size_t records = runtime.scriptSourceInfo.misc;
  for (const JS::NotableScriptSourceInfo& file : runtime.notableScriptSources) {
    records += file.misc;
  }
  return runtime.sharedImmutableStringsCache + runtime.uncompressedSourceCache + records +
         runtime.scriptData;
}

}  // namespace

std::unique_ptr<MemoryGuard> MemoryGuard::Start(JSContext* cx, std::size_t limit,
                                                std::function<void()> release) {
  JS::RootedObject counters(cx, js::gc::NewMemoryInfoObject(cx));
  JSString* name = JS_AtomizeAndPinString(cx, "mallocBytes");
  EngineSizes sizes;
  if (!counters || !name || !sizes.Read(cx)) return nullptr;
  std::unique_ptr<MemoryGuard> guard(new MemoryGuard(
      cx, counters, JS::PropertyKey::fromPinnedString(name), limit, std::move(release)));
  guard->scriptsAtStart_ = ScriptBytes(sizes.runtime);
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
  // After one collection the texts of the scripts it freed are still
  // counted, which can only make the measure too high.
  Collect(cx_, JS::GCOptions::Normal);
  measured_ = Measure(global);
  if (measured_ > limit_) {
    release_();
    CollectAll(cx_, JS::GCOptions::Shrink);
    measured_ = Measure(global);
  }
  Rebase();
  return measured_ > limit_;
}

void MemoryGuard::CollectAll(JSContext* cx, JS::GCOptions options) {
  Collect(cx, JS::GCOptions::Normal);
  Collect(cx, options);
}

void MemoryGuard::Collect(JSContext* cx, JS::GCOptions options) {
  JS::PrepareForFullGC(cx);
  JS::NonIncrementalGC(cx, options, JS::GCReason::API);
}

// The global's zone and realm thing by thing, with the zone's machine code and
// what the runtime keeps for scripts; the other zones by the collector's
// counts: their cells, and what those own outside the heap.
std::size_t MemoryGuard::Measure(JS::HandleObject global) {
  EngineSizes sizes;
  JS::RootedValue zone(cx_);
  std::size_t globalZone = 0;
  std::size_t owned = 0;
  std::size_t ownedByZone = 0;
  if (!sizes.Read(cx_) || !sizes.OfZone(JS::GetObjectZone(global), &globalZone) ||
      !Counter(counters_, ownedName_, &owned) || !JS_GetProperty(cx_, counters_, "zone", &zone) ||
      !zone.isObject()) {
    return limit_ + 1;
  }
  JS::RootedObject zoneCounters(cx_, &zone.toObject());
  if (!Counter(zoneCounters, ownedName_, &ownedByZone)) return limit_ + 1;
  // Differences of figures read apart, so never taken below nothing.
  const std::size_t otherCells =
      Growth(JS_GetGCParameter(cx_, JSGC_BYTES), js::GetGCHeapUsageForObjectZone(global));
  return globalZone + otherCells + Growth(owned, ownedByZone) +
         Growth(ScriptBytes(sizes.runtime), scriptsAtStart_);
}
