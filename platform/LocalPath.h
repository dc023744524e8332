// Paths as the dialogue documents and options write them ("Quorvane\\BaseLOG.txt")
// turned into paths this system can open. Texts sent to a peer keep their
// backslashes; only a local file that is opened or created goes through here.
#pragma once
#include <string>

namespace platform {

// Returns the path with every backslash replaced by a slash.
std::string LocalPath(const std::string& path);

}  // namespace platform
