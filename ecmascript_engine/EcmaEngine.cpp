#include "ecmascript_engine/EcmaEngine.h"

#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/Exception.h>
#include <js/GCAPI.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Interrupt.h>
#include <js/Realm.h>
#include <js/SourceText.h>
#include <js/Stack.h>
#include <js/Warnings.h>
#include <jsapi.h>

#include <cstdint>

#include "ecmascript_engine/ErrorReporter.h"
#include "ecmascript_engine/Natives.h"
#include "ecmascript_engine/ScriptText.h"
#include "platform/ThreadStack.h"

namespace {

// Most bytes the engine may hold: its garbage-collected heap may not grow
// past them, and a script whose things hold more in all is stopped.
constexpr uint32_t kHeapLimit = 8388608;

// How often a running script's memory is looked at.
constexpr std::chrono::milliseconds kMemoryTick{10};

// The heap size (MB, of collected things and of the memory they hold) from
// which garbage is collected. Every new command text compiles a script of
// its own; with the engine's defaults a dialogue's memory would grow by
// megabytes of old scripts before the first collection.
constexpr uint32_t kCollectFromMb = 1;

// Stack kept free below the deepest script frame, for the engine's own work
// once the limit is reached (the error report) and for a sanitizer's larger
// frames.
constexpr std::uintptr_t kStackReserve = 1024 * 1024;

// The engine's quota when the thread's stack cannot be measured.
constexpr std::uintptr_t kFallbackQuota = 1024 * 1024;

// What the SpiderMonkey shell prints when it stops a script that ran too long.
constexpr char kTooLong[] = "Script runs for too long, terminating.";
// And its like for a script that holds too much memory.
constexpr char kTooMuchMemory[] = "Script uses too much memory, terminating.";

// The stack below the caller's frame, less the reserve. The engine counts its
// quota from the top of the stack, which lies above the caller, so the limit
// it sets falls no lower than the reserve.
std::uintptr_t StackQuota() {
  auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  std::uintptr_t low = platform::StackLowEnd();
  if (low == 0 || here <= low + 2 * kStackReserve) return kFallbackQuota;
  return here - low - kStackReserve;
}

// The global class has no hooks of its own beyond the tracing every global
// object needs: its properties are exactly those defined on it.
const JSClassOps kGlobalClassOps = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, JS_GlobalObjectTraceHook};
const JSClass kGlobalClass = {"global", JSCLASS_GLOBAL_FLAGS, &kGlobalClassOps, nullptr, nullptr,
                              nullptr};

}  // namespace

std::unique_ptr<EcmaEngine> EcmaEngine::Start() {
  std::unique_ptr<EcmaEngine> engine(new EcmaEngine());
  if (!engine->StartContext() || !engine->StartGlobal()) return nullptr;
  return engine;
}

EcmaEngine::~EcmaEngine() {
  watchdog_.reset();
  cache_.reset();
  if (realmEntered_) JS::LeaveRealm(context_, previousRealm_);
  global_.reset();
  if (context_) JS_DestroyContext(context_);
}

EcmaEngine* EcmaEngine::FromContext(JSContext* cx) {
  return static_cast<EcmaEngine*>(JS_GetContextPrivate(cx));
}

bool EcmaEngine::StartContext() {
  context_ = JS_NewContext(kHeapLimit);
  if (!context_) return false;
  JS_SetContextPrivate(context_, this);
  JS_SetGCParameter(context_, JSGC_ALLOCATION_THRESHOLD, kCollectFromMb);
  JS_SetGCParameter(context_, JSGC_MALLOC_THRESHOLD_BASE, kCollectFromMb);
  JS_SetNativeStackQuota(context_, StackQuota());
  JS::SetWarningReporter(context_, OnWarning);
  if (!JS_AddInterruptCallback(context_, OnInterrupt)) return false;
  JSContext* cx = context_;
  watchdog_ =
      std::make_unique<Watchdog>([cx] { JS_RequestInterruptCallbackCanWait(cx); }, kMemoryTick);
  cache_ = std::make_unique<ScriptCache>(context_);
  JS_SetGCCallback(context_, OnGarbageCollection, this);
  return JS::InitSelfHostedCode(context_);
}

bool EcmaEngine::StartGlobal() {
  JS::RealmOptions options;
  global_ = std::make_unique<JS::PersistentRootedObject>(
      context_,
      JS_NewGlobalObject(context_, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options));
  if (!*global_) return false;
  previousRealm_ = JS::EnterRealm(context_, *global_);
  realmEntered_ = true;
  memory_ = MemoryGuard::Start(context_, kHeapLimit, [this] { cache_->Clear(); });
  return memory_ && JS::InitRealmStandardClasses(context_) &&
         mavette::DefineNatives(context_, *global_);
}

// Nothing of the old global object stays reachable: the kept scripts and the
// guard's counters belong to its realm, and no script is running. What the
// runtime kept for its scripts goes too, before the new guard reads what the
// runtime keeps for scripts when it starts.
bool EcmaEngine::StartAfresh() {
  cache_->Clear();
  memory_.reset();
  JS::LeaveRealm(context_, previousRealm_);
  realmEntered_ = false;
  global_.reset();
  MemoryGuard::CollectAll(context_, JS::GCOptions::Shrink);
  return StartGlobal();
}

// A run that leaves the engine over its memory limit fails, though its
// script ran to its end. After a run that failed for its memory the engine
// starts afresh.
int EcmaEngine::Run(std::string_view script, std::optional<std::string>* value) {
  mavette::ClearResultCode();
  quitStatus_.reset();
  memoryStopped_ = false;
  stoppedForTime_ = false;
  memory_->RunStarts();
  watchdog_->Arm(timeLimit_);
  Execute(script, value);
  watchdog_->Disarm();
  memory_->RunEnded();
  if (!memoryStopped_ && memory_->Over(*global_)) {
    mavette::ReportMessage(kTooMuchMemory);
    memoryStopped_ = true;
  }
  broken_ = memoryStopped_ && !StartAfresh();
  return mavette::ResultCode();
}

// The script ends once the watchdog's deadline has passed or the engine
// holds too much; any other interrupt (a tick, one left over from the run
// before, the engine's own) lets it go on.
bool EcmaEngine::OnInterrupt(JSContext* cx) {
  EcmaEngine* engine = FromContext(cx);
  if (engine->watchdog_->Fired()) return false;
  engine->memoryStopped_ = engine->memory_->Over(*engine->global_);
  return !engine->memoryStopped_;
}

// The engine warns that a script it stops was "terminated by timeout": not
// so when the script held too much memory, which is reported instead.
void EcmaEngine::OnWarning(JSContext* cx, JSErrorReport* report) {
  EcmaEngine* engine = FromContext(cx);
  ++engine->warnings_;
  if (!engine->memoryStopped_) mavette::ReportWarning(cx, report);
}

// The collected heap is full: what the cache holds goes before the engine
// gives up, as it would have been garbage without the cache. (No collection
// is under way yet when the callback comes, so roots may be dropped.) The
// cache is gone while the engine is destroyed.
void EcmaEngine::OnGarbageCollection(JSContext*, JSGCStatus status, JS::GCReason reason,
                                     void* engine) {
  ScriptCache* cache = static_cast<EcmaEngine*>(engine)->cache_.get();
  if (cache && status == JSGC_BEGIN && reason == JS::GCReason::LAST_DITCH) cache->Clear();
}

const char* EcmaEngine::StopMessage() {
  if (memoryStopped_) return kTooMuchMemory;
  return watchdog_->Fired() ? kTooLong : nullptr;
}

void EcmaEngine::ReportStop(const char* message) {
  mavette::ReportMessage(message);
  stoppedForTime_ = message == kTooLong;
}

void EcmaEngine::Execute(std::string_view script, std::optional<std::string>* value) {
  JS_ClearPendingException(context_);
  JS::RootedScript compiled(context_);
  JS::RootedValue result(context_);
  if (!Compile(script, &compiled) || !JS_ExecuteScript(context_, compiled, &result)) {
    ReportFailure();
    return;
  }
  if (value && !result.isUndefined()) *value = ValueText(result);
}

// A failed compile is not kept, so it is reported at every run; nor is one
// that warned, whose warnings are reported at every compile. A template
// literal's strings object belongs to its place in the compiled script: a
// kept script would give a run the object of the run before, where a new
// compile makes a new one.
bool EcmaEngine::Compile(std::string_view script, JS::MutableHandleScript compiled) {
  compiled.set(cache_->Find(script));
  if (compiled) return true;
  std::u16string chars = mavette::WidenBytes(script);
  JS::SourceText<char16_t> source;
  if (!source.init(context_, chars.data(), chars.size(), JS::SourceOwnership::Borrowed)) {
    return false;
  }
  const unsigned warningsBefore = warnings_;
  JS::CompileOptions options(context_);
  compiled.set(JS::Compile(context_, options, source));
  if (!compiled) return false;
  if (warnings_ == warningsBefore && script.find('`') == std::string_view::npos) {
    cache_->Add(script, compiled);
  }
  return true;
}

// The string form of a value, or nothing when the conversion fails: such a
// failure is dropped without a report and leaves the result code alone,
// unless the conversion ran out of time.
std::optional<std::string> EcmaEngine::ValueText(JS::HandleValue value) {
  JS::RootedString text(context_, JS::ToString(context_, value));
  JS::UniqueChars bytes;
  if (text) bytes = JS_EncodeStringToLatin1(context_, text);
  if (!bytes) {
    if (const char* stop = StopMessage()) ReportStop(stop);
    JS_ClearPendingException(context_);
    return std::nullopt;
  }
  return std::string(bytes.get());
}

// A failed compile or run: an exception is reported; a failure without one
// is a quit, a run stopped for its time or its memory, or the engine
// stopping on its own.
void EcmaEngine::ReportFailure() {
  if (JS_IsExceptionPending(context_)) {
    mavette::ReportPendingException(context_);
  } else if (quitStatus_) {
    return;
  } else if (const char* stop = StopMessage()) {
    ReportStop(stop);
  } else {
    mavette::ReportMessage("script stopped by an uncatchable error");
  }
}
