// Writing a file under a name that may come from outside: a symbolic link
// standing at the name is never followed, so the file it points to is never
// written; such a link is refused like a file that cannot be written.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// Writes the bytes to the file at the path: after what it holds when
// `append`, in its place otherwise. A missing file is created (mode 0666
// less the umask). False, with errno telling why, when the path is a
// symbolic link, the file cannot be opened, or not every byte was written.
bool WriteFileNoFollow(const std::string& path, const void* bytes, std::size_t size, bool append);

}  // namespace platform
