// The main of a fuzz target built without libFuzzer: runs the target once on
// every input it is given, each file named and every file in each folder named
// (in name order), and prints how many ran. No input at all is a failure, so a
// misplaced corpus cannot pass unnoticed; a fault in an input aborts the run,
// and an input that ends the process (whatever its status) fails it with 1, so
// no input after it goes unreplayed.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::string replaying;  // the input being replayed, empty between inputs

void FailAnExitWhileReplaying() {
  if (replaying.empty()) return;
  const std::string text = "\nThe input " + replaying + " ended the process\n";
  (void)!write(STDERR_FILENO, text.data(), text.size());
  _exit(1);
}

std::vector<fs::path> InputsOf(const fs::path& argument) {
  if (!fs::is_directory(argument)) return {argument};
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Runs the target on the file's bytes, in a block of exactly their size so
// that the sanitizers see any read past the end.
bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << file << "\n";
    return false;
  }
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), data.get());
  replaying = file.filename().string();
  std::cout << "replaying " << replaying << std::endl;
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  replaying.clear();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::atexit(FailAnExitWhileReplaying);
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& file : InputsOf(argv[i])) {
      if (!Replay(file)) return 1;
      ++replayed;
    }
  }
  std::cout << replayed << " inputs replayed" << std::endl;
  return replayed > 0 ? 0 : 1;
}
