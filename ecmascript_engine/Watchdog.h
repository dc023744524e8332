// A timer for the script that is running: a thread of its own waits until
// the armed deadline has passed and then calls the alarm once. Arm and
// Disarm come from the engine's thread; the alarm runs on the watchdog's
// thread and must be safe there (it only asks the engine to interrupt).
//
// Once Disarm has returned the alarm of that arming can no longer come, and
// Fired tells whether it came before.
//
// Arming is cheap: the thread is woken only when the new deadline comes
// before the time it sleeps until (an earlier arming's deadline, which it
// then checks again), so a stream of short commands costs no thread switch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class Watchdog {
 public:
  // Starts the thread. The alarm is required.
  explicit Watchdog(std::function<void()> alarm);
  // Stops and joins the thread.
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // The alarm comes once `limit` has passed, unless Disarm comes first.
  void Arm(std::chrono::milliseconds limit);
  void Disarm();
  // Whether the alarm of the last arming came.
  bool Fired();

 private:
  void Watch();

  std::function<void()> alarm_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::chrono::steady_clock::time_point deadline_;
  // When the thread wakes next by itself (max: only when notified).
  std::chrono::steady_clock::time_point wakeAt_ = std::chrono::steady_clock::time_point::max();
  bool armed_ = false;
  bool fired_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once everything above is ready
};
