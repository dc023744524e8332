// The four functions every script sees on the global object:
//   version([n])  the engine's version number; with an integer n, stores n
//                 and gives the previous number;
//   quit([n])     ends the process with status n (default 0) once the
//                 script has unwound;
//   clear([obj])  deletes every deletable own property of obj, or of the
//                 object it is called on (the global object when called
//                 plainly);
//   intern(s)     interns the string form of s.
#pragma once

#include <js/TypeDecls.h>

namespace mavette {

// Defines the four functions on the global object. Requires the engine of
// the context (EcmaEngine::FromContext). False when a definition fails.
bool DefineNatives(JSContext* cx, JS::HandleObject global);

}  // namespace mavette
