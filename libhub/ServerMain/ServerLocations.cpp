#include "libhub/ServerMain/ServerLocations.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "libhub/ServerMain/ServerArgs.h"
#include "libhub/io/HubServer.h"
#include "libhub/util/NameSplit.h"
#include "libhub/util/Print.h"

namespace {

// The line without its leading blanks, tabs, CRs and LFs and without one
// trailing CR.
std::string Trimmed(const std::string& line) {
  size_t end = line.size();
  if (end > 0 && line[end - 1] == '\r') --end;
  size_t start = line.find_first_not_of(" \t\r\n");
  if (start == std::string::npos || start >= end) return "";
  return line.substr(start, end - start);
}

// The name of the entry, its index prefix removed; "" when nothing follows the prefix.
std::string EntryName(const std::string& field, int* index) {
  char* badIndex = nullptr;
  char* name = Hub_SplitIndexPrefix(field.c_str(), index, &badIndex);
  std::string result = name ? name : "";
  free(name);
  free(badIndex);
  return result;
}

// Host and port of a "host:port" location; false unless both are usable.
bool ReadLocation(const std::string& location, Hub_ServerLocation* entry) {
  int port = -1;
  char* host = Hub_SplitHostPort(location.c_str(), &port);
  bool wellFormed = host && *host && port >= 1;
  if (wellFormed) {
    entry->host = host;
    entry->port = port;
  }
  free(host);
  return wellFormed;
}

// Reads one line of the file: true when it is the well-formed entry of `name`.
bool ReadEntry(const std::string& rawLine, const char* name, Hub_ServerLocation* entry) {
  std::string line = Trimmed(rawLine);
  if (line.empty() || line[0] == '#') return false;
  std::istringstream fields(line);
  std::string server;
  std::string location;
  std::string kind;
  if (!(fields >> server >> location >> kind)) {
    HubUtil_PrintWarning("Ignoring ill-formed server location line `%s'\n", line.c_str());
    return false;
  }
  if (strcasecmp(kind.c_str(), "hub") == 0) {
    entry->kind = HUB_LOCATION_HUB;
  } else if (strcasecmp(kind.c_str(), "server") == 0) {
    entry->kind = HUB_LOCATION_SERVER;
  } else {
    HubUtil_PrintWarning("Ignoring line containing ill-formed listener ID `%s'", kind.c_str());
    return false;
  }
  entry->name = EntryName(server, &entry->index);
  if (entry->name != name) return false;
  if (!ReadLocation(location, entry)) {
    HubUtil_PrintWarning("Ignoring line containing ill-formed server location `%s'",
                         location.c_str());
    return false;
  }
  return true;
}

// The name the declaration hook gives a placeholder server; "" when none.
std::string DeclaredName(const Hub_ServerHooks& hooks) {
  if (!hooks.declare) return "";
  HubIO_Server* placeholder = HubIO_CreatePlaceholderServer();
  if (!placeholder) return "";
  hooks.declare(placeholder);
  const char* declared = HubIO_ServerName(placeholder);
  std::string name = declared ? declared : "";
  HubIO_DestroyServer(placeholder);
  return name;
}

}  // namespace

bool Hub_ReadServerLocation(const char* file, const char* name, Hub_ServerLocation* entry) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    HubUtil_PrintWarning("Couldn't open server location file %s", file);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    Hub_ServerLocation candidate;
    if (ReadEntry(line, name, &candidate)) {
      *entry = candidate;
      return true;
    }
  }
  return false;
}

void Hub_LookUpServerLocation(Hub_ServerArgs* args) {
  if (!args->locationsFile) return;
  std::string name = args->serverName ? args->serverName : "";
  if (name.empty() && args->declarations) name = DeclaredName(args->hooks);
  if (args->locationsName) name = args->locationsName;
  if (name.empty()) {
    HubUtil_PrintWarning("Couldn't determine server name to look up entry in %s",
                         args->locationsFile);
    return;
  }
  Hub_ServerLocation entry;
  if (!Hub_ReadServerLocation(args->locationsFile, name.c_str(), &entry)) {
    HubUtil_PrintWarning("Couldn't find entry for server %s in %s", name.c_str(),
                         args->locationsFile);
    return;
  }
  if (entry.kind == HUB_LOCATION_HUB) {
    args->hubFlags = HUBIO_CONTACT_HUBS;
    free(args->contactHub);
    args->contactHub = strdup((entry.host + ":" + std::to_string(entry.port)).c_str());
  } else {
    args->hubFlags = HUBIO_LISTEN_FOR_HUBS;
    args->port = static_cast<uint16_t>(entry.port);
  }
}
