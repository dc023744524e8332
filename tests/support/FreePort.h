// A TCP port on 127.0.0.1 that nobody else will take: outside the range the
// kernel hands out by itself, free when it was tried, and reserved against
// the other test processes for the life of this one.
#pragma once

namespace testsupport {
int FreePort();
}
