#include "interpreter/LogFile.h"

#include "platform/LocalPath.h"

LogFile::LogFile(const std::string& path) {
  const std::string local = platform::LocalPath(path);
  std::ofstream(local, std::ios::binary | std::ios::trunc);
  file_.open(local, std::ios::binary | std::ios::app);
}

void LogFile::Append(const std::string& bytes) {
  if (!file_.is_open()) return;
  file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file_.flush();
  file_.clear();
}
