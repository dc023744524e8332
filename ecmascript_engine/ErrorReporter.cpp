#include "ecmascript_engine/ErrorReporter.h"

#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <jsapi.h>

#include <cstdio>

#include "ecmascript_engine/ScriptText.h"

namespace mavette {
namespace {

constexpr int kErrorReported = 3;
constexpr unsigned kTabWidth = 8;

int resultCode = 0;

void WriteToStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string Prefix(const JSErrorReport& report) {
  std::string prefix;
  if (report.filename && *report.filename) prefix = std::string(report.filename) + ":";
  prefix += std::to_string(report.lineno) + ": ";
  if (report.isWarning()) prefix += "warning: ";
  return prefix;
}

// Every line of the message after the prefix; the last line gets no line end.
std::string PrefixedLines(const std::string& message, const std::string& prefix) {
  std::string text;
  std::string::size_type start = 0;
  std::string::size_type end;
  while ((end = message.find('\n', start)) != std::string::npos) {
    text += prefix + message.substr(start, end + 1 - start);
    start = end + 1;
  }
  return text + prefix + message.substr(start);
}

// One '.' per column before the error token.
std::string DotsToToken(const std::string& line, std::size_t tokenOffset) {
  std::string dots;
  for (std::size_t i = 0; i < tokenOffset && i < line.size(); ++i) {
    std::size_t next =
        line[i] == '\t' ? (dots.size() + kTabWidth) / kTabWidth * kTabWidth : dots.size() + 1;
    dots.resize(next, '.');
  }
  return dots;
}

void CountError() { resultCode = kErrorReported; }

std::string FormatReport(const std::string& message, const JSErrorReport& report) {
  std::string prefix = Prefix(report);
  std::string text = PrefixedLines(message, prefix);
  if (!report.linebuf()) return text + "\n";
  std::string line = NarrowChars(report.linebuf(), report.linebufLength());
  text += ":\n" + prefix + line;
  if (line.empty() || line.back() != '\n') text += "\n";
  return text + prefix + DotsToToken(line, report.tokenOffset()) + "^\n";
}

}  // namespace

int ResultCode() { return resultCode; }

void ClearResultCode() { resultCode = 0; }

void ReportPendingException(JSContext* cx) {
  JS::ExceptionStack exception(cx);
  JS::ErrorReportBuilder builder(cx);
  if (!JS::StealPendingExceptionStack(cx, &exception) ||
      !builder.init(cx, exception, JS::ErrorReportBuilder::WithSideEffects)) {
    JS_ClearPendingException(cx);
    ReportMessage("out of memory while reporting an error");
    return;
  }
  CountError();
  JS::ConstUTF8CharsZ message = builder.toStringResult();
  if (!message) message = builder.report()->message();
  WriteToStandardError(
      FormatReport(Utf8ToBytes(message ? message.c_str() : ""), *builder.report()));
}

void ReportMessage(const std::string& message) {
  CountError();
  WriteToStandardError(message + "\n");
}

void ReportWarning(JSContext*, JSErrorReport* report) {
  const char* message = report->message() ? report->message().c_str() : "";
  WriteToStandardError(FormatReport(Utf8ToBytes(message), *report));
}

}  // namespace mavette
