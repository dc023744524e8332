#include "platform/Clock.h"

namespace platform {
namespace {

bool g_fixed = false;
std::time_t g_moment = 0;

std::string Format(const char* format) {
  std::time_t now = g_fixed ? g_moment : std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::size_t length = std::strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}

}  // namespace

std::string TimeString() { return Format("%H:%M:%S"); }
std::string DateString() { return Format("%m/%d/%y"); }

void SetFixedClock(std::time_t moment) {
  g_fixed = true;
  g_moment = moment;
}

void ClearFixedClock() { g_fixed = false; }

}  // namespace platform
