// A TCP port on 127.0.0.1 that was free a moment ago: bound to port 0, read
// back and released.
#pragma once

namespace testsupport {
int FreePort();
}
