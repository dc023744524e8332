// A file kept open for appending, for logs. Each Append hands its bytes to
// the system at once (nothing is held back in the process), so the file is
// complete after each call and nothing is lost when the process ends through
// exit or is killed. Programs that the process starts do not inherit it.
// A file that cannot be opened makes every Append do nothing.
#pragma once
#include <string>

namespace platform {

class AppendFile {
 public:
  // Truncates or creates the file and keeps it open in append mode, so that
  // writes through several AppendFiles on one path all land at its end.
  explicit AppendFile(const std::string& path);
  ~AppendFile();  // closes the file
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Writes all the bytes; a write that fails is dropped.
  void Append(const std::string& bytes);

 private:
  int fd_;
};

}  // namespace platform
