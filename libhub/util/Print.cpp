#include "libhub/util/Print.h"

#include <cstdlib>
#include <string>

#include "libhub/util/Console.h"

namespace {

int g_verbosity = -1;
bool g_tableInstalled = false;
HubUtil_PrinterTable g_table = {};

// ---- streams ----

// Standard output goes to the console (Console.h), standard error as it is.
void WriteMessage(FILE* stream, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  if (stream == stdout) {
    HubUtil_ConsoleVPrint(format, copy);
  } else {
    vfprintf(stream, format, copy);
  }
  va_end(copy);
}

void Put(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteMessage(stream, format, args);
  va_end(args);
}

// ---- escapes ----

void WriteColor(FILE* stream, int foreground, int background) {
  if (foreground >= 0 && background >= 0) {
    Put(stream, "\033[3%dm\033[4%dm", foreground, background);
  } else if (foreground >= 0) {
    Put(stream, "\033[3%dm", foreground);
  } else if (background >= 0) {
    Put(stream, "\033[4%dm", background);
  } else {
    Put(stream, "\033[0m");
  }
}

void ResetColor(FILE* stream) { WriteColor(stream, -1, -1); }

// The console is written when the process is about to wait
// (HubUtil_PrintFlush); what goes to standard error goes out at once, so the
// output held before it goes first.
FILE* Errors() {
  HubUtil_ConsoleFlush();
  return stderr;
}

// "  (PREFIX: message)\n" on standard error.
void WritePrefixed(const char* prefix, const char* format, va_list args) {
  fputs(prefix, Errors());
  WriteMessage(stderr, format, args);
  fputs(")\n", stderr);
}

// ---- plain printers ----

void PlainFatal(const char* format, va_list args, void*) {
  WritePrefixed("  (FATAL ERROR: ", format, args);
  fflush(stderr);
}
void PlainError(const char* format, va_list args, void*) {
  WritePrefixed("  (ERROR: ", format, args);
  fflush(stderr);
}
void PlainWarning(const char* format, va_list args, void*) {
  WritePrefixed("  (WARNING: ", format, args);
  fflush(stderr);
}
void PlainMessage(const char* format, va_list args, void*) { WriteMessage(stdout, format, args); }
void PlainLevel(int, const char* format, va_list args, void* data) {
  PlainMessage(format, args, data);
}
void PlainColoredLevel(int, int, int, const char* format, va_list args, void* data) {
  PlainMessage(format, args, data);
}
void PlainColored(int, int, const char* format, va_list args, void* data) {
  PlainMessage(format, args, data);
}

// ---- colour printers ----

void ColoredPrefixed(int foreground, const char* prefix, const char* format, va_list args) {
  WriteColor(Errors(), foreground, -1);
  WritePrefixed(prefix, format, args);
  ResetColor(stderr);
  fflush(stderr);
}
void ColorFatal(const char* format, va_list args, void*) {
  ColoredPrefixed(3, "  (FATAL ERROR: ", format, args);
}
void ColorError(const char* format, va_list args, void*) {
  ColoredPrefixed(1, "  (ERROR: ", format, args);
}
void ColorWarning(const char* format, va_list args, void*) {
  ColoredPrefixed(5, "  (WARNING: ", format, args);
}

// Foreground of each level of the colour level printer; -1: plain output.
int LevelForeground(int level) {
  switch (level) {
    case 1: return 3;
    case 2: return 5;
    case 3: case 4: return 4;
    case 5: case 6: return 2;
    default: return -1;
  }
}

void ColorLevel(int level, const char* format, va_list args, void* data) {
  int foreground = LevelForeground(level);
  if (foreground < 0) {
    PlainMessage(format, args, data);
    return;
  }
  WriteColor(Errors(), foreground, -1);
  WriteMessage(stderr, format, args);
  ResetColor(stderr);
  fflush(stderr);
}

void ColorColoredLevel(int level, int foreground, int background, const char* format,
                       va_list args, void*) {
  FILE* stream = (level == 1 || level == 2) ? Errors() : stdout;
  WriteColor(stream, foreground, background);
  WriteMessage(stream, format, args);
  ResetColor(stream);
  if (stream == stderr) fflush(stderr);
}

int LowBits(int color) { return color < 0 ? color : (color & 7); }

void ColorColored(int foreground, int background, const char* format, va_list args, void*) {
  WriteColor(stdout, LowBits(foreground), LowBits(background));
  WriteMessage(stdout, format, args);
  ResetColor(stdout);
}

void InstallTable(const HubUtil_PrinterTable& table) {
  g_table = table;
  g_tableInstalled = true;
}

// "location: format", with any '%' of the location doubled so that it is
// printed as it is.
std::string JoinLocation(const char* location, const char* format) {
  std::string joined;
  for (const char* c = location; *c; ++c) {
    joined += *c;
    if (*c == '%') joined += '%';
  }
  return joined + ": " + format;
}

// The verbosity a message kind needs, or -2 when the caller's level holds.
int KindThreshold(HubUtil_PrintKind kind) {
  switch (kind) {
    case HUBUTIL_PRINT_FATAL:
    case HUBUTIL_PRINT_ERROR: return 1;
    case HUBUTIL_PRINT_INFO:
    case HUBUTIL_PRINT_COLORED_INFO: return 3;
    case HUBUTIL_PRINT_DETAIL:
    case HUBUTIL_PRINT_COLORED_DETAIL: return 4;
    case HUBUTIL_PRINT_TRACE: return 5;
    case HUBUTIL_PRINT_DEEP_TRACE: return 6;
    default: return -2;
  }
}

void Dispatch(const HubUtil_PrinterTable* t, HubUtil_PrintKind kind, int level, int fg, int bg,
              const char* format, va_list args) {
  switch (kind) {
    case HUBUTIL_PRINT_FATAL: t->fatal(format, args, t->data); break;
    case HUBUTIL_PRINT_ERROR: t->error(format, args, t->data); break;
    case HUBUTIL_PRINT_WARNING: t->warning(format, args, t->data); break;
    case HUBUTIL_PRINT_LEVEL: t->level(level, format, args, t->data); break;
    case HUBUTIL_PRINT_COLORED_LEVEL: t->coloredLevel(level, fg, bg, format, args, t->data); break;
    case HUBUTIL_PRINT_INFO: t->info(format, args, t->data); break;
    case HUBUTIL_PRINT_DETAIL: t->detail(format, args, t->data); break;
    case HUBUTIL_PRINT_COLORED_INFO: t->coloredInfo(fg, bg, format, args, t->data); break;
    case HUBUTIL_PRINT_COLORED_DETAIL: t->coloredDetail(fg, bg, format, args, t->data); break;
    case HUBUTIL_PRINT_TRACE: t->trace(format, args, t->data); break;
    case HUBUTIL_PRINT_DEEP_TRACE: t->deepTrace(format, args, t->data); break;
  }
}

// The common body of the variadic operations on the current table.
void Print(HubUtil_PrintKind kind, int level, int fg, int bg, const char* location,
           const char* format, va_list args) {
  HubUtil_VPrint(HubUtil_CurrentPrinters(), kind, level, fg, bg, location, format, args);
}

const HubUtil_PrinterTable kPlainPrinters = {
    PlainFatal,   PlainError,   PlainWarning, PlainLevel,   PlainColoredLevel, PlainMessage,
    PlainMessage, PlainColored, PlainColored, PlainMessage, PlainMessage,      nullptr};

const HubUtil_PrinterTable kColorPrinters = {
    ColorFatal,   ColorError,   ColorWarning, ColorLevel,   ColorColoredLevel, PlainMessage,
    PlainMessage, ColorColored, ColorColored, PlainMessage, PlainMessage,      nullptr};

}  // namespace

int HubUtil_GetVerbosity() {
  if (g_verbosity < 0) {
    const char* text = getenv("HUB_VERBOSE");
    HubUtil_SetVerbosity(text ? atoi(text) : -1);
  }
  return g_verbosity;
}

void HubUtil_SetVerbosity(int level) {
  g_verbosity = level < 0 ? 3 : level;
  if (!g_tableInstalled) InstallTable(kColorPrinters);
}

void HubUtil_InstallPlainPrinters() { InstallTable(kPlainPrinters); }
void HubUtil_InstallColorPrinters() { InstallTable(kColorPrinters); }

HubUtil_PrinterTable* HubUtil_CurrentPrinters() {
  HubUtil_GetVerbosity();
  return &g_table;
}

void HubUtil_VPrint(const HubUtil_PrinterTable* table, HubUtil_PrintKind kind, int level,
                    int foreground, int background, const char* location, const char* format,
                    va_list args) {
  int verbosity = HubUtil_GetVerbosity();
  int threshold = KindThreshold(kind);
  if (threshold == -2) threshold = level;
  if (verbosity >= threshold) {
    if (location && verbosity >= 4) {
      std::string joined = JoinLocation(location, format);
      Dispatch(table, kind, level, foreground, background, joined.c_str(), args);
    } else {
      Dispatch(table, kind, level, foreground, background, format, args);
    }
  }
  if (kind == HUBUTIL_PRINT_FATAL) exit(-1);
}

// Each variadic operation hands its arguments to Print.
#define HUB_PRINT_VARIADIC(kind, level, fg, bg, location) \
  va_list args;                                          \
  va_start(args, format);                                \
  Print(kind, level, fg, bg, location, format, args);    \
  va_end(args)

void HubUtil_PrintFatal(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_FATAL, 1, -1, -1, nullptr);
  exit(-1);
}
void HubUtil_PrintFatalAt(const char* location, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_FATAL, 1, -1, -1, location);
  exit(-1);
}
void HubUtil_Assert(bool condition, const char* format, ...) {
  if (condition) return;
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_FATAL, 1, -1, -1, nullptr);
}
void HubUtil_PrintError(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_ERROR, 1, -1, -1, nullptr);
}
void HubUtil_PrintErrorAt(const char* location, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_ERROR, 1, -1, -1, location);
}
void HubUtil_PrintWarning(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_WARNING, 2, -1, -1, nullptr);
}
void HubUtil_PrintWarningAt(const char* location, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_WARNING, 2, -1, -1, location);
}
void HubUtil_PrintWarningAtLevel(int level, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_WARNING, level, -1, -1, nullptr);
}
void HubUtil_PrintWarningAtLevelAt(const char* location, int level, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_WARNING, level, -1, -1, location);
}
void HubUtil_PrintAtLevel(int level, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_LEVEL, level, -1, -1, nullptr);
}
void HubUtil_PrintAtLevelAt(const char* location, int level, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_LEVEL, level, -1, -1, location);
}
void HubUtil_PrintColoredAtLevel(int level, int foreground, int background, const char* format,
                                 ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_COLORED_LEVEL, level, foreground, background, nullptr);
}
void HubUtil_PrintInfo(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_INFO, 3, -1, -1, nullptr);
}
void HubUtil_PrintInfoAt(const char* location, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_INFO, 3, -1, -1, location);
}
void HubUtil_PrintDetail(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_DETAIL, 4, -1, -1, nullptr);
}
void HubUtil_PrintDetailAt(const char* location, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_DETAIL, 4, -1, -1, location);
}
void HubUtil_PrintColoredInfo(int foreground, int background, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_COLORED_INFO, 3, foreground, background, nullptr);
}
void HubUtil_PrintColoredInfoAt(const char* location, int foreground, int background,
                                const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_COLORED_INFO, 3, foreground, background, location);
}
void HubUtil_PrintColoredDetail(int foreground, int background, const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_COLORED_DETAIL, 4, foreground, background, nullptr);
}
void HubUtil_PrintTrace(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_TRACE, 5, -1, -1, nullptr);
}
void HubUtil_PrintDeepTrace(const char* format, ...) {
  HUB_PRINT_VARIADIC(HUBUTIL_PRINT_DEEP_TRACE, 6, -1, -1, nullptr);
}

void HubUtil_PrintFlush() { HubUtil_ConsoleFlush(); }

void HubUtil_StreamPrint(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (stream == stdout || stream == stderr) {
    Print(HUBUTIL_PRINT_LEVEL, -1, -1, -1, nullptr, format, args);
  } else {
    vfprintf(stream, format, args);
    fflush(stream);
  }
  va_end(args);
}
