// Shared by the fuzz targets of the hub library: the library's statics, made
// once, with printers that format every message (reading its arguments as the
// real printers do) but show nothing, at the highest verbosity so that every
// trace is formatted too. Fatal messages still print and end the process: a
// fatal path reached from outside input is a finding.
#pragma once
#include <cstdarg>
#include <cstdio>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/Print.h"

namespace fuzzsupport {

inline void FormatOnly(const char* format, va_list args, void*) {
  std::vsnprintf(nullptr, 0, format, args);
}
inline void FormatLevel(int, const char* format, va_list args, void* data) {
  FormatOnly(format, args, data);
}
inline void FormatColoredLevel(int, int, int, const char* format, va_list args, void* data) {
  FormatOnly(format, args, data);
}
inline void FormatColored(int, int, const char* format, va_list args, void* data) {
  FormatOnly(format, args, data);
}

inline void InitializeHubQuietly() {
  static const bool done = [] {
    Hub_InitializeStatics();
    HubUtil_PrinterTable* table = HubUtil_CurrentPrinters();
    table->error = table->warning = table->info = table->detail = FormatOnly;
    table->trace = table->deepTrace = FormatOnly;
    table->level = FormatLevel;
    table->coloredLevel = FormatColoredLevel;
    table->coloredInfo = table->coloredDetail = FormatColored;
    HubUtil_SetVerbosity(6);
    return true;
  }();
  (void)done;
}

}  // namespace fuzzsupport
