// A timer for the script that is running: a thread of its own calls the
// alarm every tick while armed, and once more when the armed deadline has
// passed, which ends the arming. Arm and Disarm come from the engine's
// thread; the alarm runs on the watchdog's thread and must be safe there (it
// only asks the engine to interrupt).
//
// Once Disarm has returned no alarm of that arming can come any more, and
// Fired tells whether the deadline's alarm came before.
//
// Arming is cheap: the thread is woken only when the new arming's first
// alarm comes before the time it sleeps until (an earlier arming's, which it
// then checks again), so a stream of short commands costs no thread switch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class Watchdog {
 public:
  // Starts the thread. The alarm is required; the tick is positive.
  Watchdog(std::function<void()> alarm, std::chrono::milliseconds tick);
  // Stops and joins the thread.
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // The alarm comes every tick, and once `limit` has passed, unless Disarm
  // comes first.
  void Arm(std::chrono::milliseconds limit);
  void Disarm();
  // Whether the deadline of the last arming passed.
  bool Fired();

 private:
  void Watch();

  std::function<void()> alarm_;
  const std::chrono::milliseconds tick_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::steady_clock::time_point nextTick_;
  // When the thread wakes next by itself (max: only when notified).
  std::chrono::steady_clock::time_point wakeAt_ = std::chrono::steady_clock::time_point::max();
  bool armed_ = false;
  bool fired_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once everything above is ready
};
