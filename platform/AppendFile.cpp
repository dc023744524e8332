#include "platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

AppendFile::AppendFile(const std::string& path)
    : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666)) {}

AppendFile::~AppendFile() {
  if (fd_ >= 0) close(fd_);
}

void AppendFile::Append(const std::string& bytes) {
  std::size_t written = 0;
  while (fd_ >= 0 && written < bytes.size()) {
    const ssize_t count = write(fd_, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace platform
