#include "platform/ProgramRunner.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <utility>

extern char** environ;

namespace platform {

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> words;
  for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, words[0], nullptr, nullptr, words.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgramWritingFile(std::vector<std::string> argv, const std::string& outputPath) {
  const std::filesystem::path output(outputPath);
  std::string folder = (output.parent_path() / ".writing.XXXXXX").string();
  if (!mkdtemp(folder.data())) return -1;
  const std::filesystem::path written = std::filesystem::path(folder) / output.filename();
  argv.push_back(written.string());
  int status = RunProgram(argv);
  std::error_code renameError;
  if (status == 0) std::filesystem::rename(written, output, renameError);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return renameError ? -1 : status;
}

int RunShellCommand(const std::string& commandLine) {
  return RunProgram({"/bin/sh", "-c", commandLine});
}

bool ReadAnswerLines(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(std::move(line));
  }
  return true;
}

}  // namespace platform
