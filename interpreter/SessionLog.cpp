#include "interpreter/SessionLog.h"

#include <fstream>

#include "platform/Clock.h"
#include "platform/LocalPath.h"

namespace {
const std::string kRule(50, '_');
}

SessionLog::SessionLog(const std::string& fileName) : fileName_(fileName) {
  std::ofstream file(platform::LocalPath(fileName_), std::ios::binary | std::ios::trunc);
  file << "START SESSION " << TimeString() << "\t\t\t" << "DATE " << DateString() << "\n"
       << kRule << "\n";
}

SessionLog::~SessionLog() { Append(kRule + "\nEND OF SESSION " + TimeString()); }

void SessionLog::Append(const std::string& bytes) {
  std::ofstream file(platform::LocalPath(fileName_), std::ios::binary | std::ios::app);
  file << bytes;
}

void SessionLog::Message(const std::string& text) {
  Append("\nMESSAGE " + std::to_string(messageCounter_) + " : " + text);
  ++messageCounter_;
}

void SessionLog::Error(const std::string& text) { Append("\nERROR :" + text + "\n"); }

void SessionLog::Write(const std::string& text) { Append(text); }

void SessionLog::WriteText(const char* text) { Append(text ? text : ""); }

void SessionLog::WriteBool(bool flag) { Append(flag ? "true" : "false"); }

void SessionLog::WriteInt(long long value) { Append(std::to_string(value)); }

void SessionLog::WriteTime() { Append("\t" + TimeString()); }

std::string SessionLog::TimeString() { return platform::TimeString(); }

std::string SessionLog::DateString() { return platform::DateString(); }

std::string SessionLog::MessageNumber() const { return std::to_string(messageCounter_); }
