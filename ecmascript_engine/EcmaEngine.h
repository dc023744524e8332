// One SpiderMonkey context with its global object: the standard classes and
// the natives version, quit, clear and intern. The realm of the global object
// stays entered for the engine's whole life. One thread only.
//
// Requires JS_Init to have run in the process (and JS_ShutDown not yet).
#pragma once

#include <js/RootingAPI.h>
#include <js/TypeDecls.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class EcmaEngine {
 public:
  // A started engine, or null when any step of the start fails.
  static std::unique_ptr<EcmaEngine> Start();
  // Leaves the realm, drops the global object and destroys the context.
  ~EcmaEngine();
  EcmaEngine(const EcmaEngine&) = delete;
  EcmaEngine& operator=(const EcmaEngine&) = delete;

  // Compiles and runs the script (Windows-1250 bytes). When value is given
  // and the script's value is not undefined, stores its string form there;
  // a value whose conversion fails is dropped without a report. Compile and
  // run errors are reported on standard error. Returns the library's result
  // code. When the script called quit, ends the process with the status it
  // gave instead of returning.
  int Run(std::string_view script, std::optional<std::string>* value);

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
  bool StartGlobal();
  // Compiles and runs the script and converts its value; no quit handling.
  void Execute(std::string_view script, std::optional<std::string>* value);
  std::optional<std::string> ValueText(JS::HandleValue value);
  void ReportFailure();

  int version_ = 0;
  JSContext* context_ = nullptr;
  std::unique_ptr<JS::PersistentRootedObject> global_;
  bool realmEntered_ = false;
  JS::Realm* previousRealm_ = nullptr;
  std::optional<int> quitStatus_;
};
