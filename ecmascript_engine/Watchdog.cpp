#include "ecmascript_engine/Watchdog.h"

#include <utility>

Watchdog::Watchdog(std::function<void()> alarm)
    : alarm_(std::move(alarm)), thread_([this] { Watch(); }) {}

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
    deadline_ = std::chrono::steady_clock::now() + limit;
    armed_ = true;
    fired_ = false;
    wake = deadline_ < wakeAt_;
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
    if (!armed_) {
      wakeAt_ = std::chrono::steady_clock::time_point::max();
      changed_.wait(lock);
    } else if (std::chrono::steady_clock::now() < deadline_) {
      wakeAt_ = deadline_;
      changed_.wait_until(lock, deadline_);
    } else {
      armed_ = false;
      fired_ = true;
      alarm_();
    }
  }
}
