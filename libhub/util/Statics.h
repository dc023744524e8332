// One-time set-up of the hub protocol library's process-wide state.
#pragma once

// Initialises, once for the process (later calls do nothing): the plain
// printers, then the locks and repositories of every module, last the calling
// thread's registration as the main thread. Records of the library cannot be
// had before it has run.
void Hub_InitializeStatics();
