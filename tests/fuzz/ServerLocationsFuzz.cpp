// The hub library's server locations file over any content: the entry found
// for a name is that name's, with a host and a port in 1..65535.
//
// Input: the name looked up, a NUL, then the file's content.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "libhub/ServerMain/ServerLocations.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/HubFuzzSetup.h"

namespace {

// A file of this process in the temporary folder, removed at exit.
class ScratchFile {
 public:
  ScratchFile() {
    const char* folder = getenv("TMPDIR");
    path_ = std::string(folder && *folder ? folder : "/tmp") + "/server_locations_XXXXXX";
    int descriptor = mkstemp(path_.data());
    FUZZ_CHECK(descriptor >= 0);
    close(descriptor);
  }
  ~ScratchFile() { remove(path_.c_str()); }

  const char* Write(const std::string& content) {
    FILE* file = fopen(path_.c_str(), "wb");
    FUZZ_CHECK(file && fwrite(content.data(), 1, content.size(), file) == content.size());
    fclose(file);
    return path_.c_str();
  }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::InitializeHubQuietly();
  static ScratchFile scratch;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  if (nul == std::string::npos) return 0;
  const std::string name = input.substr(0, nul);

  Hub_ServerLocation entry;
  if (Hub_ReadServerLocation(scratch.Write(input.substr(nul + 1)), name.c_str(), &entry)) {
    FUZZ_CHECK(entry.name == name && !entry.host.empty());
    FUZZ_CHECK(entry.port >= 1 && entry.port <= 65535);
    FUZZ_CHECK(entry.kind == HUB_LOCATION_HUB || entry.kind == HUB_LOCATION_SERVER);
  }
  return 0;
}
