// A fresh temporary working directory for one test. The constructor creates it
// under $TMPDIR (or /tmp) and makes it the working directory; the destructor
// goes back and removes it with everything in it.
//
// Death tests run their statement in a fresh process that sets the test up
// again; there the directory of the parent's test is entered instead (its
// path travels in the environment), so the parent can check what the
// statement wrote.
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
  bool owned_ = true;  // false in a death test's process: the parent removes it
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
