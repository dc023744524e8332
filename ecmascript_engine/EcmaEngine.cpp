#include "ecmascript_engine/EcmaEngine.h"

#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/Exception.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Realm.h>
#include <js/SourceText.h>
#include <js/Warnings.h>
#include <jsapi.h>

#include <cstdlib>

#include "ecmascript_engine/ErrorReporter.h"
#include "ecmascript_engine/Natives.h"
#include "ecmascript_engine/ScriptText.h"

namespace {

// Most bytes the garbage-collected heap may grow to.
constexpr uint32_t kHeapLimit = 8388608;

// Stack the engine may use, counted from the top of the thread's stack. A
// runaway recursion then ends in "too much recursion" instead of a crash.
constexpr size_t kStackQuota = 1024 * 1024;

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
  JS_SetNativeStackQuota(context_, kStackQuota);
  JS::SetWarningReporter(context_, mavette::ReportWarning);
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
  return JS::InitRealmStandardClasses(context_) && mavette::DefineNatives(context_, *global_);
}

int EcmaEngine::Run(std::string_view script, std::optional<std::string>* value) {
  Execute(script, value);
  if (quitStatus_) std::exit(*quitStatus_);
  return mavette::ResultCode();
}

void EcmaEngine::Execute(std::string_view script, std::optional<std::string>* value) {
  JS_ClearPendingException(context_);
  std::u16string chars = mavette::WidenBytes(script);
  JS::SourceText<char16_t> source;
  if (!source.init(context_, chars.data(), chars.size(), JS::SourceOwnership::Borrowed)) {
    ReportFailure();
    return;
  }
  JS::CompileOptions options(context_);
  JS::RootedScript compiled(context_, JS::Compile(context_, options, source));
  JS::RootedValue result(context_);
  if (!compiled || !JS_ExecuteScript(context_, compiled, &result)) {
    ReportFailure();
    return;
  }
  if (value && !result.isUndefined()) *value = ValueText(result);
}

// The string form of a value, or nothing when the conversion fails: such a
// failure is dropped without a report and leaves the result code alone.
std::optional<std::string> EcmaEngine::ValueText(JS::HandleValue value) {
  JS::RootedString text(context_, JS::ToString(context_, value));
  JS::UniqueChars bytes;
  if (text) bytes = JS_EncodeStringToLatin1(context_, text);
  if (!bytes) {
    JS_ClearPendingException(context_);
    return std::nullopt;
  }
  return std::string(bytes.get());
}

// A failed compile or run: an exception is reported; a failure without one
// is a quit, unless the engine stopped on its own.
void EcmaEngine::ReportFailure() {
  if (JS_IsExceptionPending(context_)) {
    mavette::ReportPendingException(context_);
  } else if (!quitStatus_) {
    mavette::ReportMessage("script stopped by an uncatchable error");
  }
}
