#include "ecmascript_engine/Watchdog.h"

#include <algorithm>
#include <utility>

Watchdog::Watchdog(std::function<void()> alarm, std::chrono::milliseconds tick)
    : alarm_(std::move(alarm)), tick_(tick), thread_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_one();
  thread_.join();
}

void Watchdog::Arm(std::chrono::milliseconds limit) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    deadline_ = now + limit;
    nextTick_ = now + tick_;
    armed_ = true;
    fired_ = false;
    wake = std::min(deadline_, nextTick_) < wakeAt_;
  }
  if (wake) changed_.notify_one();
}

void Watchdog::Disarm() {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_ = false;
}

bool Watchdog::Fired() {
  std::lock_guard<std::mutex> lock(mutex_);
  return fired_;
}

// The alarm is called with the lock held, so Disarm cannot return while an
// alarm of its arming is still on its way.
void Watchdog::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const auto now = std::chrono::steady_clock::now();
    if (!armed_) {
      wakeAt_ = std::chrono::steady_clock::time_point::max();
      changed_.wait(lock);
    } else if (now >= deadline_) {
      armed_ = false;
      fired_ = true;
      alarm_();
    } else if (now >= nextTick_) {
      nextTick_ = now + tick_;
      alarm_();
    } else {
      wakeAt_ = std::min(deadline_, nextTick_);
      changed_.wait_until(lock, wakeAt_);
    }
  }
}
