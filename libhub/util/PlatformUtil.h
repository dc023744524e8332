// Platform utilities of the hub protocol library: a clock for due times, a
// printable coding of binary data, a sleep in seconds, and handlers that end
// the process on an interrupt or termination signal.
#pragma once

// 0, with a monotonic clock reading (seconds and microseconds) at millisecond
// precision: microseconds are whole milliseconds × 1000. For due times and
// time limits; it is not the calendar time.
int HubUtil_TimeOfDay(long* seconds, long* microseconds);

// The bytes as printable text (caller frees with free()): each group of 3
// bytes, the last one padded with zeros, gives 4 characters of 6 bits + 32
// (blank to underscore), so "abc" gives "86)C". Null for null or empty input.
char* HubUtil_EncodeBinary(const void* bytes, int count);

// Sleeps that many seconds (not a cancellation point).
void HubUtil_SleepSeconds(int seconds);

// Installs handlers for SIGINT and SIGTERM that write the warning
// "Received signal %d; exiting\n" (when the verbosity shows warnings) and end
// the process with status 1.
void HubUtil_InstallSignalHandlers();
// 1 once installed.
int HubUtil_SignalHandlersInstalled();

// The process id (for messages).
int HubUtil_ProcessId();
