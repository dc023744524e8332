// The script engine as the scope layer sees it: start it, run one script text
// at a time and read back the script's value as text, stop it. The real one is
// MavetteEngine; tests put a scripted one in its place.
#pragma once
#include <cstddef>
#include <string>

// What one script run gives back.
struct ScriptResult {
  int status = 0;    // 0, or nonzero when the engine reported an error in this run
  std::string text;  // the value's printed form; "" when the value is undefined
  bool cut = false;  // the printed form was longer than the buffer held
  bool timedOut = false;  // the engine stopped the script: it ran too long
  // The engine stopped the script for holding too much memory and started
  // afresh: every variable of the earlier scripts is gone.
  bool memoryReset = false;
};

class ScriptEngine {
 public:
  virtual ~ScriptEngine() = default;

  // Starts the engine; the scripts run after it share one global state
  // (until a run ends in a memory reset).
  virtual void Start() = 0;
  // Runs the whole script. The value is read back through a result buffer
  // of resultSize bytes that reads as "" when the value is undefined, so the
  // text holds at most resultSize - 1 bytes; a longer value is cut there and
  // marked as cut.
  // With resultSize 0 nothing is read back and nothing is marked.
  virtual ScriptResult Run(const std::string& script, std::size_t resultSize) = 0;
  // Shuts the engine down; Start may run it again afresh.
  virtual void Stop() = 0;
};
