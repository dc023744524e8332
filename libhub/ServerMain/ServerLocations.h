// The server locations file: a text file that tells a server where to listen
// or which hub to contact. One entry per line, three fields separated by white
// space:
//   [index]name host:port hub|server
// The "[index]" prefix is optional and dropped from the name; the kind is
// compared without regard to case. Empty lines and lines whose first character
// after leading white space is '#' are comments. Lines may be of any length
// and may end in CR LF.
#pragma once
#include <string>

struct Hub_ServerArgs;

// Listener kinds of an entry.
enum {
  HUB_LOCATION_HUB = 0,     // contact the hub at host:port
  HUB_LOCATION_SERVER = 1,  // listen for hubs on port
};

struct Hub_ServerLocation {
  std::string name;  // without its index prefix
  int index = -1;    // -1: no index
  std::string host;
  int port = 0;  // 1-65535
  int kind = HUB_LOCATION_SERVER;
};

// Reads `file` for the entry of the server `name`: true with *entry set to the
// first well-formed line whose name equals `name` exactly; false when there is
// none. Warns (and goes on) for a file that cannot be opened ("Couldn't open
// server location file %s"), a line without three fields ("Ignoring ill-formed
// server location line `%s'\n"), a kind other than hub or server ("Ignoring
// line containing ill-formed listener ID `%s'") and, on a line of `name`, a
// location that is not host:port with a port in 1-65535 ("Ignoring line
// containing ill-formed server location `%s'").
bool Hub_ReadServerLocation(const char* file, const char* name, Hub_ServerLocation* entry);

// Applies the locations file that args names (nothing when it names none). The
// entry looked up is the locations-file name, else the server name, else the
// name the declaration hook gives a placeholder server. A "hub" entry makes the
// server contact only that hub; a "server" entry makes it listen only, on the
// entry's port. Without a name or an entry a warning is printed and nothing
// changes.
void Hub_LookUpServerLocation(Hub_ServerArgs* args);
