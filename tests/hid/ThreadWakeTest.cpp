// The wake the reader's stop relies on, over the virtual services and the system's own kernel32.
#include "tests/hid/ThreadWake.h"

#include "hid/Kernel32.h"
#include "platform/virtual/VirtualHid.h"

namespace {

struct BoundKernel32 {
  BoundKernel32() { bound = hid::BindKernel32(); }
  ~BoundKernel32() {
    if (bound) hid::ReleaseKernel32();
  }
  BoundKernel32(const BoundKernel32&) = delete;
  BoundKernel32& operator=(const BoundKernel32&) = delete;
  bool bound = false;
};

TEST(ThreadWake, AQueuedRoutineEndsAnAlertableWaitOnTheVirtualServices) {
  virtualhid::Reset();
  virtualhid::RegisterLibraries();
  {
    BoundKernel32 kernel32;
    ASSERT_TRUE(kernel32.bound);
    threadwake::ExpectAQueuedRoutineEndsAnAlertableWait(hid::Kernel32());
  }
  virtualhid::Reset();
}

#ifdef _WIN32
TEST(ThreadWake, AQueuedRoutineEndsAnAlertableWaitOnTheSystem) {
  virtualhid::Reset();  // nothing registered: the system's kernel32
  BoundKernel32 kernel32;
  ASSERT_TRUE(kernel32.bound);
  threadwake::ExpectAQueuedRoutineEndsAnAlertableWait(hid::Kernel32());
}
#endif

}  // namespace
