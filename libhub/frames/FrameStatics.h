// Process-wide set-up of symbols, objects and frames: the symbol, object and
// frame repositories and the locks of those modules. Run once by
// Hub_InitializeStatics, after the vlist repository exists.
#pragma once

void Hub_InitFrameStatics();
