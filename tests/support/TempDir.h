// A fresh temporary working directory for one test. The constructor creates it
// under $TMPDIR (or /tmp) and makes it the working directory; the destructor
// goes back and removes it with everything in it.
#pragma once
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Fixture base: every test of a fixture derived from it runs in its own directory.
class TempDirTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// Whole file as bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes bytes to a file, creating or truncating it.
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace testsupport
