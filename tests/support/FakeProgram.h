// Fake outside programs: shell scripts a test writes where the system looks
// for the real program, so that spawning, the working folder and the
// arguments are exercised for real.
#pragma once
#include <string>

namespace testsupport {

// Writes "#!/bin/sh\n" + body to the path, its folders made, executable.
void WriteProgram(const std::string& path, const std::string& body);

}  // namespace testsupport
