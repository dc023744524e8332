// Platform utilities of the hub protocol library: a clock for due times, a
// printable coding of binary data, a sleep in seconds, and handlers that end
// the process on an interrupt or termination signal.
#pragma once
#include <cstdint>

// The library's one clock: milliseconds of a monotonic clock, for due times
// and time limits; it is not the calendar time.
int64_t HubUtil_MonotonicMillis();
// 0, with the same clock's reading in seconds and microseconds (whole
// milliseconds × 1000).
int HubUtil_TimeOfDay(long* seconds, long* microseconds);

// The bytes as printable text (caller frees with free()): each group of 3
// bytes, the last one padded with zeros, gives 4 characters of 6 bits + 32
// (blank to underscore), so "abc" gives "86)C". Null for null or empty input.
char* HubUtil_EncodeBinary(const void* bytes, int count);

// The library's one sleep: that many milliseconds, resumed when a signal
// interrupts it (not a cancellation point; HubUtil_SleepMillis is one).
void HubUtil_SleepPlainMillis(int milliseconds);
// Sleeps that many seconds (not a cancellation point).
void HubUtil_SleepSeconds(int seconds);

// Installs handlers for SIGINT and SIGTERM that write what the console holds
// (Console.h), then the warning "Received signal %d; exiting\n" (when the
// verbosity shows warnings), and end the process with status 1.
void HubUtil_InstallSignalHandlers();
// 1 once installed.
int HubUtil_SignalHandlersInstalled();

// The process id (for messages).
int HubUtil_ProcessId();
