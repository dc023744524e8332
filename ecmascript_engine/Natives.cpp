#include "ecmascript_engine/Natives.h"

#include <js/CallArgs.h>
#include <js/Conversions.h>
#include <js/PropertyAndElement.h>
#include <js/PropertySpec.h>
#include <jsapi.h>
#include <jsfriendapi.h>

#include "ecmascript_engine/EcmaEngine.h"

namespace mavette {
namespace {

bool Version(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  EcmaEngine* engine = EcmaEngine::FromContext(cx);
  args.rval().setInt32(engine->Version());
  if (args.length() > 0 && args[0].isInt32()) engine->SetVersion(args[0].toInt32());
  return true;
}

bool Quit(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  int32_t status = 0;
  if (args.length() > 0 && !JS::ToInt32(cx, args[0], &status)) return false;
  EcmaEngine::FromContext(cx)->RequestQuit(status);
  return false;
}

// Deleting a property that cannot be deleted is not an error here: it stays.
bool DeleteOwnProperties(JSContext* cx, JS::HandleObject target) {
  JS::RootedIdVector keys(cx);
  if (!js::GetPropertyKeys(cx, target, JSITER_OWNONLY | JSITER_HIDDEN | JSITER_SYMBOLS, &keys)) {
    return false;
  }
  for (size_t i = 0; i < keys.length(); ++i) {
    JS::ObjectOpResult ignored;
    if (!JS_DeletePropertyById(cx, target, keys[i], ignored)) return false;
  }
  return true;
}

bool Clear(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  JS::RootedObject target(cx);
  if (args.length() > 0) {
    target = JS::ToObject(cx, args[0]);
    if (!target) return false;
  } else if (!args.computeThis(cx, &target)) {
    return false;
  }
  args.rval().setUndefined();
  return DeleteOwnProperties(cx, target);
}

// The engine's atom table is its intern table.
bool Intern(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  JS::RootedString text(cx, JS::ToString(cx, args.get(0)));
  JS::RootedId atom(cx);
  if (!text || !JS_StringToId(cx, text, &atom)) return false;
  args.rval().setUndefined();
  return true;
}

const JSFunctionSpec kNatives[] = {
    JS_FN("version", Version, 0, 0),
    JS_FN("quit", Quit, 0, 0),
    JS_FN("clear", Clear, 0, 0),
    JS_FN("intern", Intern, 1, 0),
    JS_FS_END,
};

}  // namespace

bool DefineNatives(JSContext* cx, JS::HandleObject global) {
  return JS_DefineFunctions(cx, global, kNatives);
}

}  // namespace mavette
