// The engine's memory limit, over everything its scripts hold: the collected
// heap, the memory its things own outside it (array elements, string
// characters, buffers, WebAssembly memories), which the collector's own limit
// does not bind, and what the runtime keeps for the compiled scripts and
// functions (their source texts, compressed or not, in its caches of shared
// strings and of uncompressed texts; their ScriptSource records; their
// bytecode and other shared script data), with the machine code compiled in
// the global's zone. The engine's memory reporter walks the heap thing by
// thing: the global's zone and realm are taken from it, and the runtime's
// script figures less what they were when the guard started (the engine's
// own built-in functions); every other zone (the atoms: a copy of each string
// a script uses as a property name) is taken as the collector counts it. Not
// counted: the rest of what the runtime holds for itself (its built-in code,
// the atoms table, the machine code every zone shares, the young generation's
// space, its working space) and what the host holds.
//
// Measuring all that collects the garbage first (which also moves the young
// things, whose buffers the collector does not count yet, into the counted
// heap) and walks the whole heap, so the guard measures only once the engine
// may have grown since the last measure by more than the room left below the
// limit (and by at least kRemeasureAfter bytes). That growth is read cheaply:
// what the process's allocator handed out during runs (read at the start and
// the end of each), plus what the collector counts of its heap and of what
// its things own outside it (read at the end of each run; this sees a
// WebAssembly memory, which the allocator does not hand out). Each of the two
// counts only what it grew by, so the growth read is no less than the
// engine's, but for two cases: memory that things owned outside the heap and
// gave back during a run is taken off both figures, and so hides as much of
// what the run took in young buffers (seen by the allocator alone) and at the
// same time in heap cells or WebAssembly memory (seen by the collector alone);
// and machine code, which neither sees (the script data that goes with it
// goes through the allocator). The text of a script goes back only at the
// collection after the one that frees the script, so a measure may count
// too much, never too little. When a measure passes the limit, the release
// hook lets go of what the engine keeps only to be quick (its compiled
// scripts), and the guard collects twice and measures again.
//
// One guard per global object, made once its realm is entered (and gone
// before the realm is left: its counters belong to the realm). Engine thread
// only.
#pragma once

#include <js/GCAPI.h>
#include <js/Id.h>
#include <js/RootingAPI.h>
#include <js/TypeDecls.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

class MemoryGuard {
 public:
  // The least growth that makes the guard measure again.
  static constexpr std::size_t kRemeasureAfter = 256 * 1024;

  // A guard of the realm entered on the context, or null when the
  // collector's counters or the runtime's figures cannot be had. The release
  // hook (required) is called before the guard collects again.
  static std::unique_ptr<MemoryGuard> Start(JSContext* cx, std::size_t limit,
                                            std::function<void()> release);

  // Bracket every run; Over may be called in between (from the interrupt
  // callback) and after RunEnded.
  void RunStarts();
  void RunEnded();

  // Collects all the garbage twice, the second time with the options, so
  // that the texts of the scripts freed go back too.
  static void CollectAll(JSContext* cx, JS::GCOptions options);

  // Whether the engine holds more than the limit once its garbage is
  // collected; false without measuring while it cannot have grown past it.
  // The global object stands for the engine's heap.
  bool Over(JS::HandleObject global);

 private:
  MemoryGuard(JSContext* cx, JS::HandleObject counters, jsid ownedName, std::size_t limit,
              std::function<void()> release)
      : cx_(cx),
        counters_(cx, counters),
        ownedName_(ownedName),
        limit_(limit),
        release_(std::move(release)) {}
  std::size_t CollectorBytes();
  bool Counter(JS::HandleObject counters, jsid name, std::size_t* bytes);
  std::size_t GrowthSinceMeasure();
  // Starts counting the growth afresh from the readings now.
  void Rebase();
  static void Collect(JSContext* cx, JS::GCOptions options);
  std::size_t Measure(JS::HandleObject global);

  JSContext* cx_;
  JS::PersistentRootedObject counters_;  // the collector's figures (a MemoryInfo object)
  // The name of their figure of what things own outside the heap (a pinned
  // atom: read by its id, the name is not looked up at every run).
  const jsid ownedName_;
  const std::size_t limit_;
  std::function<void()> release_;
  // What the runtime kept for scripts when the guard started.
  std::size_t scriptsAtStart_ = 0;
  std::size_t measured_ = 0;        // the engine's size at the last measure
  std::size_t grownBefore_ = 0;     // the growth read in earlier runs since then
  std::size_t allocatorStart_ = 0;  // the allocator's figure when this run started
  std::size_t collectorStart_ = 0;  // the collector's when the last run ended (or measured)
  bool running_ = false;            // between RunStarts and RunEnded
};
