// Printing and verbosity of the hub protocol library.
//
// Every message of the library goes through this layer. A process-wide
// verbosity decides what is shown; a replaceable printer table decides how
// (plain, or coloured with ANSI escapes). Fatal messages end the process with
// exit status -1 (seen as 255) even when the verbosity hides them.
//
// Verbosity: -1 until first read; the first read while unset takes "HUB_VERBOSE"
// (atoi; -1 when absent) through HubUtil_SetVerbosity, where a negative value
// stores 3. Setting the verbosity while no table was installed installs the
// colour table; Hub_InitializeStatics installs the plain table first.
//
// Located ("At") forms take a location text (a source folder and file such as
// "libhub/frames/dynamic_buffer") first; below verbosity 4 only the message is
// shown, from 4 up "location: message".
//
// What the standard printers give standard output is held in the library's
// console (Console.h), not in C stdio: the library calls HubUtil_PrintFlush
// before every wait (the timed-task loop's poll or sleep, a blocking read or
// accept, a sleep between tries) and before it hands a message to an
// operation, which may wait outside the library; exit, and the signals the
// library ends the process on, write what is left. The console is written
// before anything goes to standard error, so a console that shows both keeps
// the order of the prints.
//
// The verbosity and the table are read without a lock: set them at start-up,
// before threads exist.
#pragma once
#include <cstdarg>
#include <cstdio>

typedef void (*HubUtil_MessagePrinter)(const char* format, va_list args, void* data);
typedef void (*HubUtil_LevelPrinter)(int level, const char* format, va_list args, void* data);
typedef void (*HubUtil_ColoredLevelPrinter)(int level, int foreground, int background,
                                            const char* format, va_list args, void* data);
typedef void (*HubUtil_ColoredPrinter)(int foreground, int background, const char* format,
                                       va_list args, void* data);

// The printer table; fields in this order.
struct HubUtil_PrinterTable {
  HubUtil_MessagePrinter fatal;
  HubUtil_MessagePrinter error;
  HubUtil_MessagePrinter warning;
  HubUtil_LevelPrinter level;
  HubUtil_ColoredLevelPrinter coloredLevel;
  HubUtil_MessagePrinter info;           // verbosity 3
  HubUtil_MessagePrinter detail;         // verbosity 4
  HubUtil_ColoredPrinter coloredInfo;    // verbosity 3
  HubUtil_ColoredPrinter coloredDetail;  // verbosity 4
  HubUtil_MessagePrinter trace;          // verbosity 5
  HubUtil_MessagePrinter deepTrace;      // verbosity 6
  void* data;                            // handed to every printer
};

// The verbosity, read from "HUB_VERBOSE" on first use while unset.
int HubUtil_GetVerbosity();
// Sets the verbosity; a negative level stores 3.
void HubUtil_SetVerbosity(int level);

// Replace the current table's functions by the plain or the colour printers.
void HubUtil_InstallPlainPrinters();
void HubUtil_InstallColorPrinters();
// The table every print operation uses (installing the colour table when none
// was installed yet, as reading the verbosity does).
HubUtil_PrinterTable* HubUtil_CurrentPrinters();

// Shown from verbosity 1; then exits with status -1 in any case.
[[noreturn]] void HubUtil_PrintFatal(const char* format, ...);
[[noreturn]] void HubUtil_PrintFatalAt(const char* location, const char* format, ...);
// A false condition acts as HubUtil_PrintFatal.
void HubUtil_Assert(bool condition, const char* format, ...);

void HubUtil_PrintError(const char* format, ...);  // from verbosity 1
void HubUtil_PrintErrorAt(const char* location, const char* format, ...);
void HubUtil_PrintWarning(const char* format, ...);  // from verbosity 2
void HubUtil_PrintWarningAt(const char* location, const char* format, ...);
void HubUtil_PrintWarningAtLevel(int level, const char* format, ...);  // from the level
void HubUtil_PrintWarningAtLevelAt(const char* location, int level, const char* format, ...);
// From the level given; level -1 prints at every verbosity.
void HubUtil_PrintAtLevel(int level, const char* format, ...);
void HubUtil_PrintAtLevelAt(const char* location, int level, const char* format, ...);
void HubUtil_PrintColoredAtLevel(int level, int foreground, int background, const char* format,
                                 ...);
void HubUtil_PrintInfo(const char* format, ...);  // from verbosity 3
void HubUtil_PrintInfoAt(const char* location, const char* format, ...);
void HubUtil_PrintDetail(const char* format, ...);  // from verbosity 4
void HubUtil_PrintDetailAt(const char* location, const char* format, ...);
void HubUtil_PrintColoredInfo(int foreground, int background, const char* format, ...);
void HubUtil_PrintColoredInfoAt(const char* location, int foreground, int background,
                                const char* format, ...);
void HubUtil_PrintColoredDetail(int foreground, int background, const char* format, ...);
void HubUtil_PrintTrace(const char* format, ...);      // from verbosity 5
void HubUtil_PrintDeepTrace(const char* format, ...);  // from verbosity 6

// Writes out what the printers left in the console.
void HubUtil_PrintFlush();

// Standard output or error: always, through the level printer at level -1.
// Any other stream: written to it directly and flushed.
void HubUtil_StreamPrint(FILE* stream, const char* format, ...);

// Which printer of a table a message goes to.
enum HubUtil_PrintKind {
  HUBUTIL_PRINT_FATAL,  // ends the process
  HUBUTIL_PRINT_ERROR,
  HUBUTIL_PRINT_WARNING,
  HUBUTIL_PRINT_LEVEL,
  HUBUTIL_PRINT_COLORED_LEVEL,
  HUBUTIL_PRINT_INFO,
  HUBUTIL_PRINT_DETAIL,
  HUBUTIL_PRINT_COLORED_INFO,
  HUBUTIL_PRINT_COLORED_DETAIL,
  HUBUTIL_PRINT_TRACE,
  HUBUTIL_PRINT_DEEP_TRACE,
};

// The form every operation above rests on, with an explicit table. The message
// is shown when the verbosity reaches `level` (the kind's own threshold for
// kinds that have one; the given level for level, coloured-level and warning
// messages). `location` may be null. Colours below 0 mean "not given".
void HubUtil_VPrint(const HubUtil_PrinterTable* table, HubUtil_PrintKind kind, int level,
                    int foreground, int background, const char* location, const char* format,
                    va_list args);
