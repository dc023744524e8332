// A log file kept open for appending. Each Append goes to the file at once
// (nothing is held back in the process), so the file is complete after each
// call and nothing is lost when the process ends through exit or is killed.
// A file that cannot be opened makes every Append do nothing; a failed write
// is dropped and the next one is tried afresh.
#pragma once
#include <fstream>
#include <string>

class LogFile {
 public:
  // Truncates or creates the file (backslashes in the path become slashes)
  // and keeps it open in append mode, so that writes through several
  // LogFiles on one path all land at its end.
  explicit LogFile(const std::string& path);
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Append(const std::string& bytes);

 private:
  std::ofstream file_;
};
