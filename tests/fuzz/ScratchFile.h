// A file of this process in the temporary folder for the fuzz targets whose
// decoder reads a file: each Write replaces its content. Removed at exit.
#pragma once
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/FuzzCheck.h"

namespace fuzzsupport {

class ScratchFile {
 public:
  // The file's name starts with `prefix`.
  explicit ScratchFile(const std::string& prefix) {
    const char* folder = getenv("TMPDIR");
    path_ = std::string(folder && *folder ? folder : "/tmp") + "/" + prefix + "_XXXXXX";
    int descriptor = mkstemp(path_.data());
    FUZZ_CHECK(descriptor >= 0);
    close(descriptor);
  }
  ~ScratchFile() { remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Returns the file's path.
  const std::string& Write(const std::string& content) {
    FILE* file = fopen(path_.c_str(), "wb");
    FUZZ_CHECK(file && fwrite(content.data(), 1, content.size(), file) == content.size());
    fclose(file);
    return path_;
  }

 private:
  std::string path_;
};

}  // namespace fuzzsupport
