// Mavette: one ECMAScript engine per process behind a few plain C functions.
//
// Call EEinit once, then EEcommandN (or EEcommand) for every script, then
// EEdestroy. Everything runs on the calling thread; the engine is not
// reentrant. Script texts and results are Windows-1250 bytes, passed through
// unchanged: each byte of a script is one character of the engine, and each
// character of a result comes back as one byte (a character above 0xFF, which
// only a script can make, keeps its low byte; a NUL character ends the text).
//
// Errors are printed on standard error in the style of the SpiderMonkey
// shell, with a "<line>: " prefix on every line ("<line>: warning: " for a
// warning); a syntax error adds the source line and a row of dots up to a
// caret under the error token. Each command's result code is its own: 0, or
// 3 when an error was reported while it ran. Warnings leave it alone.
//
// A command that runs longer than the time limit (10 seconds unless
// EEsetTimeLimit says otherwise) is interrupted; that is reported as an error
// ("Script runs for too long, terminating.") and the engine goes on serving.
// No command succeeds that makes the engine hold more than 8 MiB, counted as
// its collected heap (the atoms' included), what its things own outside it
// (elements, characters, buffers, WebAssembly memories), and what it keeps
// for the scripts and functions compiled since it started (commands, eval,
// new Function): their source texts, compressed or not, and the records of
// those texts, their bytecode and other script data, and the machine code
// compiled for them and their regular expressions. (The commands it keeps
// compiled to run them again count too, but it lets them go before it stops
// a command for its memory.) Not counted: what the engine held for itself
// before the first command (its built-in functions' data, the machine code
// every script shares), its atoms table, its working space (stacks,
// temporary space, the young generation's space, helper threads' tasks), and
// the copies of the texts by which it finds the commands it keeps compiled
// (at most 512 KiB). A command that passes the limit is stopped within
// milliseconds of doing so, or fails when it ended first, with the error
// "Script uses too much memory, terminating.". The engine then starts
// afresh, back under the limit: the global object goes with everything the
// scripts stored, a new one holds the standard classes and the four
// functions below, and the compiled scripts are dropped; the time limit, the
// quit handler and the version number stay (EEmemoryReset tells the host).
// When it cannot start afresh, the process ends with status 1.
// The engine measures itself only once it may have grown by 256 KiB since
// it last did, so a command may end up to that much past the limit; machine
// code is counted when it measures but does not make it measure; and a
// command that gives back memory its things owned outside the heap may hide
// up to as much of what it takes anew in young buffers and, at once, in heap
// cells or WebAssembly memory.
// Scripts may recurse as deep as the thread's stack allows, less a reserve;
// deeper, they fail with "too much recursion".
//
// The script globals hold, besides the standard classes, four functions:
// version([n]) gives the version number (0) and, with an integer, stores it
// and gives the previous one; quit([n]) ends the process with status n
// (default 0) once the script has unwound, through the quit handler when the
// host has set one; clear([obj]) deletes every deletable property of obj (of
// the global object without an argument); intern(s) interns the string form
// of s. Called on the global object, clear() deletes the four functions, the
// standard classes and every variable assigned without a declaration, but
// what the language makes undeletable survives with its value: variables
// declared with var, let or const, declared functions, and NaN, Infinity and
// undefined.
//
// The process may end through exit at any time, a script's quit included:
// an exit hook tears SpiderMonkey down first. That teardown waits for
// SpiderMonkey's helper threads and the engine's watchdog, which a child made
// by fork without exec does not have: such a child must end through _exit
// (for GoogleTest death tests, use the "threadsafe" death-test style).
#pragma once

#include <cstddef>

class EcmaEngine;

// The library is built with hidden visibility; these functions alone leave it.
#define MAVETTE_EXPORT __attribute__((visibility("default")))

extern "C" {

// Starts the engine and returns it. A second call keeps the running engine
// and returns it again; a call after EEdestroy starts a fresh one. When the
// engine cannot start, the process ends with status 1 and prints nothing.
MAVETTE_EXPORT EcmaEngine* EEinit();

// Runs the script (a NUL-terminated text of any length). When its value is
// not undefined and converts to a string, writes that string and a NUL into
// result, which must be large enough: the size is not checked. Otherwise
// result is left as it was. Returns the command's result code (0 or 3).
// Without a running engine, or with a null script, returns 3 and writes
// nothing.
// Kept for older callers: use EEcommandN.
MAVETTE_EXPORT int EEcommand(const char* script, char* result);

// As EEcommand, but writes at most size bytes into result: at most size-1
// bytes of the value and a NUL. With size 0 nothing is written (result may
// then be null).
MAVETTE_EXPORT int EEcommandN(const char* script, char* result, std::size_t size);

// Runs "var <name>" or, when value is not null, "var <name>=<value>", and
// discards the value. Returns the result code, as EEcommand.
MAVETTE_EXPORT int EEcreateVar(const char* name, const char* value);

// Shuts the running engine down; does nothing when none runs.
MAVETTE_EXPORT void EEdestroy();

// How long each later command may run, in milliseconds (0 is taken as 1),
// for this engine and the ones started after it. For hosts that must keep a
// tighter bound, and for tests.
MAVETTE_EXPORT void EEsetTimeLimit(unsigned milliseconds);

// 1 when the last command (EEcommand, EEcommandN or EEcreateVar) was
// stopped because it ran past the time limit, else 0; 0 without a running
// engine. For hosts that must notice scripts that never end.
MAVETTE_EXPORT int EEtimedOut();

// 1 when the last command failed for the engine's memory, after which the
// engine started afresh without anything the scripts had stored; else 0; 0
// without a running engine. For hosts whose own state in the scripts' globals
// is then gone.
MAVETTE_EXPORT int EEmemoryReset();

// The function a script's quit calls, with its status, once the script has
// unwound; null goes back to exit. A handler that returns is followed by
// exit with the status. For hosts that must close their work first.
typedef void (*EEquitHandler)(int status);
MAVETTE_EXPORT void EEsetQuitHandler(EEquitHandler handler);

}  // extern "C"
