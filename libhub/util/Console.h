// The library's console: what its printers give standard output (Print.h).
//
// The text is held in one fixed buffer of the process and written to
// descriptor 1 when the process is about to wait (HubUtil_PrintFlush), when
// the buffer is full, and when the process ends: by exit, and by a signal the
// library ends the process on (PlatformUtil.h), whose handler writes what is
// held with write(2) alone, without a lock or an allocation. A message counts
// as held only once it is whole, and held text counts as written piece by
// piece as it goes out: a signal that comes while a message is added finds
// what was held before it, and one that comes while the buffer is written
// finds what has not gone out yet, so every piece goes out once: a handler
// that interrupts a thread writing a piece leaves the ending to that thread
// once the piece is counted, and a handler on another thread waits for the
// piece (at most 2 s, else it ends without the console). Threads add and
// write one at a time.
#pragma once
#include <cstdarg>

// Adds the formatted message; a message longer than the buffer goes out at
// once, after what is held.
void HubUtil_ConsoleVPrint(const char* format, va_list args);
// Writes out what is held.
void HubUtil_ConsoleFlush();
// For a signal handler that ends the process, first: true when it interrupts
// this thread's writing of a piece; the handler then returns, and the thread
// calls end(signal) once the piece is counted (from outside the handler).
bool HubUtil_ConsoleDefersEnding(int signal, void (*end)(int));
// Writes out what is held, for a signal handler that ends the process: only
// async-signal-safe calls.
void HubUtil_ConsoleFlushFromSignal();
