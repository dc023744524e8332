// The library's error reporter: prints errors and warnings on standard error
// in the layout of the SpiderMonkey shell, and keeps the library-wide result
// code.
//
// Layout of one report, where P is the prefix "<line>: " (or
// "<file>:<line>: " when the report names a file) followed by "warning: "
// for a warning:
//   every line of the message, each after P;
//   without a source line: "\n";
//   with one: ":\n", P, the source line and "\n", then P, one '.' for each
//   character before the error token (a tab advances to the next multiple
//   of 8 columns, one '.' per column) and "^\n".
#pragma once

#include <string>

class JSErrorReport;
struct JSContext;

namespace mavette {

// 0 while no error has been reported since the last ClearResultCode (or
// since the library was loaded), then 3.
int ResultCode();
void ClearResultCode();

// Takes the exception pending on the context and prints its report; counts
// as an error. Requires a pending exception.
void ReportPendingException(JSContext* cx);

// Prints a message that has no report record ("<message>\n"); counts as an
// error.
void ReportMessage(const std::string& message);

// The warning reporter installed on the context: prints the report and
// leaves the result code alone.
void ReportWarning(JSContext* cx, JSErrorReport* report);

}  // namespace mavette
