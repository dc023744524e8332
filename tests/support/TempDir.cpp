#include "tests/support/TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {
const char kTestDirVariable[] = "QUORVANE_TEST_DIR";
}

TempDir::TempDir() {
  previous_ = std::filesystem::current_path().string();
  const char* inherited = std::getenv(kTestDirVariable);
  if (inherited && *inherited) {
    owned_ = false;
    path_ = inherited;
    std::filesystem::current_path(path_);
    return;
  }
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qvtest.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
  setenv(kTestDirVariable, path_.c_str(), 1);
  std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  if (!owned_) return;
  unsetenv(kTestDirVariable);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace testsupport
