#include "interpreter/common/SessionLog.h"

#include "platform/Clock.h"
#include "platform/LocalPath.h"

namespace {
const std::string kRule(50, '_');
}

SessionLog::SessionLog(const std::string& fileName)
    : fileName_(fileName), file_(platform::LocalPath(fileName)) {
  file_.Append("START SESSION " + TimeString() + "\t\t\tDATE " + DateString() + "\n" + kRule +
               "\n");
}

SessionLog::~SessionLog() { file_.Append(kRule + "\nEND OF SESSION " + TimeString()); }

void SessionLog::Message(const std::string& text) {
  file_.Append("\nMESSAGE " + std::to_string(messageCounter_) + " : " + text);
  ++messageCounter_;
}

void SessionLog::Error(const std::string& text, const std::string& after) {
  file_.Append("\nERROR :" + text + "\n" + after);
}

void SessionLog::Write(const std::string& text) { file_.Append(text); }

void SessionLog::WriteText(const char* text) { file_.Append(text ? text : ""); }

void SessionLog::WriteBool(bool flag) { file_.Append(flag ? "true" : "false"); }

void SessionLog::WriteInt(long long value) { file_.Append(std::to_string(value)); }

void SessionLog::WriteTime() { file_.Append("\t" + TimeString()); }

std::string SessionLog::TimeString() { return platform::TimeString(); }

std::string SessionLog::DateString() { return platform::DateString(); }

std::string SessionLog::MessageNumber() const { return std::to_string(messageCounter_); }
