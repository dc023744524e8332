// Whether a process listens on a TCP port, read from /proc without touching
// the socket: Quorvane serves the first peer that connects, so a probe
// connection would be taken for the bridge.
#pragma once

namespace testsupport {

// True when the process `pid` holds a socket that listens on the IPv4 port
// (with loopbackOnly, one bound to 127.0.0.1 alone, not to every address).
bool ProcessListens(int pid, int port, bool loopbackOnly = false);

}  // namespace testsupport
