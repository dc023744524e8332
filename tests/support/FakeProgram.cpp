#include "tests/support/FakeProgram.h"

#include <filesystem>

#include "tests/support/TempDir.h"

namespace testsupport {

void WriteProgram(const std::string& path, const std::string& body) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFile(path, "#!/bin/sh\n" + body);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add);
}

}  // namespace testsupport
