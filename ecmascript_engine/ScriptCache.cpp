#include "ecmascript_engine/ScriptCache.h"

JSScript* ScriptCache::Find(std::string_view text) {
  auto found = byText_.find(text);
  if (found == byText_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->script;
}

void ScriptCache::Add(std::string_view text, JS::HandleScript script) {
  if (text.size() > kMaxTextBytes) return;
  while (!entries_.empty() &&
         (entries_.size() >= kMaxEntries || textBytes_ + text.size() > kMaxTextBytes)) {
    DropLeastRecent();
  }
  entries_.emplace_front(cx_, text, script);
  byText_.emplace(entries_.front().text, entries_.begin());
  textBytes_ += text.size();
}

void ScriptCache::Clear() {
  byText_.clear();
  entries_.clear();
  textBytes_ = 0;
}

void ScriptCache::DropLeastRecent() {
  textBytes_ -= entries_.back().text.size();
  byText_.erase(entries_.back().text);
  entries_.pop_back();
}
