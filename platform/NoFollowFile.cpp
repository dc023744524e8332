#include "platform/NoFollowFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t count = write(fd, bytes, size);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) {
      errno = EIO;
      return false;
    }
    bytes += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

bool WriteFileNoFollow(const std::string& path, const void* bytes, std::size_t size, bool append) {
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  const int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, static_cast<const char*>(bytes), size);
  const int error = errno;
  if (close(fd) != 0 && written) return false;
  errno = error;
  return written;
}

}  // namespace platform
