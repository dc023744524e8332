// common/: what every room uses: session logs, the fatal exit, the peer link, entities.
//
// A plain-text session log on an AppendFile: the file stays open from
// construction to destruction and every write goes to it at once (a message
// in one write: its callers build it whole), so the file
// is complete after each call and nothing is lost when the process ends
// through exit or is killed. A file that cannot be opened makes every write
// do nothing. Owners create the log with new and delete it; the constructor
// truncates the file and writes the header, the destructor the footer, and
// then the file is closed.
#pragma once
#include <string>

#include "platform/AppendFile.h"

class SessionLog {
 public:
  // Truncates or creates the file (backslashes in the path become slashes),
  // writes "START SESSION <time>\t\t\tDATE <date>\n" and 50 underscores.
  explicit SessionLog(const std::string& fileName);
  // Appends 50 underscores, "\n" and "END OF SESSION <time>" (no line end).
  ~SessionLog();
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // "\nMESSAGE <n> : <text>"; n counts from 0.
  void Message(const std::string& text);
  // "\nERROR :<text>\n", then `after` (what the error names), in one write.
  void Error(const std::string& text, const std::string& after = "");
  // The text unchanged.
  void Write(const std::string& text);
  void WriteText(const char* text);
  // "true" or "false".
  void WriteBool(bool flag);
  // Decimal digits, "-" when negative.
  void WriteInt(long long value);
  // "\t" + HH:MM:SS.
  void WriteTime();

  static std::string TimeString();  // HH:MM:SS
  static std::string DateString();  // MM/DD/YY
  // The current message counter in decimal.
  std::string MessageNumber() const;

  const std::string& FileName() const { return fileName_; }

 private:
  int messageCounter_ = 0;
  std::string fileName_;
  platform::AppendFile file_;
};
