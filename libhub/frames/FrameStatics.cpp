#include "libhub/frames/FrameStatics.h"

#include "libhub/frames/Frame.h"
#include "libhub/frames/Object.h"
#include "libhub/frames/Symbol.h"

void Hub_InitFrameStatics() {
  Hub_InitSymbolRepository();
  Hub_InitObjectRepository();
  Hub_InitFrameRepository();
}
