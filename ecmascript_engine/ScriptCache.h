// The engine's compiled scripts by their text, so that a command run again
// is not compiled again. A compiled global script does not depend on the
// state of the global it runs on: running it again is running its text
// again. Only scripts that compiled cleanly are kept (see EcmaEngine).
//
// The cache holds at most kMaxEntries scripts and kMaxTextBytes of their
// texts; past either, the scripts used least recently leave it. A text
// longer than kMaxTextBytes is never kept. The scripts are rooted while
// they are kept, and leave when Clear is called (as it is when the engine
// runs short of memory). Engine thread only.
#pragma once

#include <js/RootingAPI.h>
#include <js/TypeDecls.h>

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

class ScriptCache {
 public:
  static constexpr std::size_t kMaxEntries = 4096;
  static constexpr std::size_t kMaxTextBytes = 512 * 1024;

  explicit ScriptCache(JSContext* cx) : cx_(cx) {}
  ScriptCache(const ScriptCache&) = delete;
  ScriptCache& operator=(const ScriptCache&) = delete;

  // The script kept for the text (now the most recently used), or null.
  JSScript* Find(std::string_view text);
  // Keeps the script compiled from the text, which the cache does not hold.
  void Add(std::string_view text, JS::HandleScript script);
  // Lets every script go.
  void Clear();

 private:
  struct Entry {
    Entry(JSContext* cx, std::string_view source, JSScript* compiled)
        : text(source), script(cx, compiled) {}
    std::string text;
    JS::PersistentRootedScript script;
  };
  void DropLeastRecent();

  JSContext* cx_;
  std::list<Entry> entries_;  // the most recently used first
  // Keyed by the texts of the entries, which stay in place in the list.
  std::unordered_map<std::string_view, std::list<Entry>::iterator> byText_;
  std::size_t textBytes_ = 0;
};
