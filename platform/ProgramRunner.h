// Runs an outside program with an argument vector, never through a shell, so
// no text that reaches an argument is ever interpreted. The program inherits
// the working directory, standard output and standard error.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (looked up in PATH when it holds no slash) with the
// arguments and waits for it: its exit status, or -1 when it cannot start or
// was ended by a signal. An empty argv gives -1.
int RunProgram(const std::vector<std::string>& argv);

}  // namespace platform
