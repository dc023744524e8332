// The hub library's server locations file over any content: the entry found
// for a name is that name's, with a host and a port in 1..65535.
//
// Input: the name looked up, a NUL, then the file's content.
#include <cstdint>
#include <string>

#include "libhub/ServerMain/ServerLocations.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/HubFuzzSetup.h"
#include "tests/fuzz/ScratchFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::InitializeHubQuietly();
  static fuzzsupport::ScratchFile scratch("server_locations");
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  if (nul == std::string::npos) return 0;
  const std::string name = input.substr(0, nul);

  const std::string& path = scratch.Write(input.substr(nul + 1));
  Hub_ServerLocation entry;
  if (Hub_ReadServerLocation(path.c_str(), name.c_str(), &entry)) {
    FUZZ_CHECK(entry.name == name && !entry.host.empty());
    FUZZ_CHECK(entry.port >= 1 && entry.port <= 65535);
    FUZZ_CHECK(entry.kind == HUB_LOCATION_HUB || entry.kind == HUB_LOCATION_SERVER);
  }
  return 0;
}
