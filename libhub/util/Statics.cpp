#include "libhub/util/Statics.h"

#include <mutex>

#include "libhub/frames/FrameStatics.h"
#include "libhub/io/HubServer.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Thread.h"
#include "libhub/util/Vlist.h"

void Hub_InitializeStatics() {
  static std::once_flag done;
  std::call_once(done, [] {
    HubUtil_InstallPlainPrinters();
    // The vlist repository first: the other repositories' free lists are vlists.
    Hub_InitVlistRepository();
    Hub_InitDynamicBufferRepositories();
    Hub_InitFrameStatics();
    HubIO_InitServerStatics();
    HubUtil_InitMainThread();
  });
}
