// The local wall clock, as the logs print it. Tests may fix the clock so that
// time stamps in logs and archive names are predictable.
#pragma once
#include <ctime>
#include <string>

namespace platform {

// Current local time as "HH:MM:SS" (24-hour clock).
std::string TimeString();
// Current local date as "MM/DD/YY".
std::string DateString();

// Makes every later reading return the given moment (local time zone);
// ClearFixedClock goes back to the real clock.
void SetFixedClock(std::time_t moment);
void ClearFixedClock();

}  // namespace platform
