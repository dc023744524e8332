// One SpiderMonkey context with its global object: the standard classes and
// the natives version, quit, clear and intern. The realm of the global object
// stays entered as long as the object is the engine's. One thread only
// (besides the engine's own watchdog, which only interrupts a running script:
// to stop it when it runs too long, and every few milliseconds to look at its
// memory).
//
// The engine holds at most 8 MiB: a script whose things pass that, counted
// with the memory they own outside the collected heap, is stopped (or, when
// it ended first, fails) with "Script uses too much memory, terminating.".
// The engine then starts afresh: a new global object, with the standard
// classes and the natives, takes the place of the old one, and whatever the
// scripts stored goes with the old one and the kept scripts.
//
// Scripts may recurse down to a reserve above the end of the thread's stack,
// counted from where the engine was created: a host that calls scripts from
// deep inside its own recursion leaves them room all the same, and a runaway
// recursion ends in "too much recursion" instead of a crash.
//
// A command's text is compiled once: the engine keeps the compiled scripts
// (ScriptCache) and runs a text it has run before from its kept script, with
// the same value, side effects and reports as a new compile. A text whose
// compile warned, or that holds a template literal, is compiled every time.
// The kept scripts are let go when the engine runs short of memory, so they
// never bring a script to its limit sooner.
//
// Requires JS_Init to have run in the process (and JS_ShutDown not yet).
#pragma once

#include <js/GCAPI.h>
#include <js/RootingAPI.h>
#include <js/TypeDecls.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ecmascript_engine/MemoryGuard.h"
#include "ecmascript_engine/ScriptCache.h"
#include "ecmascript_engine/Watchdog.h"

class JSErrorReport;

class EcmaEngine {
 public:
  // A started engine, or null when any step of the start fails.
  static std::unique_ptr<EcmaEngine> Start();
  // Leaves the realm, drops the global object and destroys the context.
  ~EcmaEngine();
  EcmaEngine(const EcmaEngine&) = delete;
  EcmaEngine& operator=(const EcmaEngine&) = delete;

  // A script running longer than this is interrupted (unless changed by
  // SetTimeLimit).
  static constexpr std::chrono::milliseconds kDefaultTimeLimit{10000};

  // Compiles and runs the script (Windows-1250 bytes). When value is given
  // and the script's value is not undefined, stores its string form there;
  // a value whose conversion fails is dropped without a report. Compile and
  // run errors, and a run interrupted after the time limit or over the
  // memory limit, are reported on standard error. Returns the result code of
  // this run: 0, or 3 when an error was reported. After a script that called
  // quit, QuitStatus holds the status it gave.
  int Run(std::string_view script, std::optional<std::string>* value);

  // Whether the last run was stopped because it ran past the time limit.
  bool StoppedForTime() const { return stoppedForTime_; }
  // Whether the last run failed for its memory, after which the engine
  // started afresh.
  bool StoppedForMemory() const { return memoryStopped_; }
  // Whether the engine could not start afresh: it can run nothing more.
  bool Broken() const { return broken_; }

  // The status of a quit called by the last run, if it called one.
  std::optional<int> QuitStatus() const { return quitStatus_; }

  // The time every later run may take (a positive duration).
  void SetTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; }

  // The engine behind a context made by Start.
  static EcmaEngine* FromContext(JSContext* cx);

  // The version number that the native version reads and sets. It is only
  // kept: this engine has a single language version.
  int Version() const { return version_; }
  void SetVersion(int version) { version_ = version; }

  // Asks for the process to end with the status once the running script has
  // unwound. The caller (the native quit) then fails without an exception,
  // which nothing in the script can catch.
  void RequestQuit(int status) { quitStatus_ = status; }

 private:
  EcmaEngine() = default;
  bool StartContext();
  // Makes the global object, enters its realm and starts its memory guard.
  bool StartGlobal();
  // Drops the global object with everything the scripts stored, collects
  // it, and makes a new one.
  bool StartAfresh();
  // Compiles (or finds) and runs the script and converts its value.
  void Execute(std::string_view script, std::optional<std::string>* value);
  // The compiled script of the text, from the cache or compiled and kept.
  // False, with the failure pending, when it does not compile.
  bool Compile(std::string_view script, JS::MutableHandleScript compiled);
  std::optional<std::string> ValueText(JS::HandleValue value);
  void ReportFailure();
  // The report of the stop of this run, or null when it was not stopped.
  const char* StopMessage();
  void ReportStop(const char* message);
  // The interrupt callback: false (the script ends) once the watchdog's
  // deadline has passed or the engine holds too much.
  static bool OnInterrupt(JSContext* cx);
  static void OnWarning(JSContext* cx, JSErrorReport* report);
  // Lets the kept scripts go at a collection of last resort.
  static void OnGarbageCollection(JSContext* cx, JSGCStatus status, JS::GCReason reason,
                                  void* engine);

  int version_ = 0;
  JSContext* context_ = nullptr;
  std::unique_ptr<JS::PersistentRootedObject> global_;
  bool realmEntered_ = false;
  JS::Realm* previousRealm_ = nullptr;
  std::optional<int> quitStatus_;
  std::chrono::milliseconds timeLimit_ = kDefaultTimeLimit;
  std::unique_ptr<Watchdog> watchdog_;  // made once the context stands
  std::unique_ptr<MemoryGuard> memory_;
  std::unique_ptr<ScriptCache> cache_;
  unsigned warnings_ = 0;  // warnings reported, to tell a compile that warned
  bool memoryStopped_ = false;  // this run was stopped for its memory
  bool stoppedForTime_ = false;  // and this one for its time
  bool broken_ = false;  // no global object since a failed fresh start
};
