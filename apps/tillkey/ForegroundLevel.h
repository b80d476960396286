// Windows keeps the keys typed into a program that runs at a higher level than tillkey (an
// elevated point-of-sale program, for one) from tillkey's keyboard hook, and says nothing about
// it. Where the support trace is on, tillkey notes each time such a window comes to the front.
#pragma once

#include <cstdint>
#include <string>

#include "host/UniqueHandle.h"

namespace tillkey {

// What Windows tells of a process's level: its integrity level (the RID of its token's label:
// 0x1000 low, 0x2000 medium, 0x3000 high, 0x4000 system) and whether it may drive the user
// interface of every level (uiAccess). `known` is false when its token cannot be read, which is
// how an elevated process looks from a program that is not.
struct ProcessLevel {
  bool known = false;
  std::uint32_t integrity = 0;
  bool uiAccess = false;
};

// The trace's note for a window in front that runs at `foreground` while tillkey runs at `own`;
// empty when the hook sees the keys typed into it.
std::string ForegroundLevelNote(const ProcessLevel& own, const ProcessLevel& foreground);

#ifdef _WIN32
// While it lives, every change of the window in front that the hook cannot follow is traced.
// Out-of-context event hook: the system calls it from this thread's message loop only when the
// foreground changes, so it costs nothing while nothing happens. Inactive when `enabled` is false.
class ForegroundLevelWatch {
 public:
  explicit ForegroundLevelWatch(bool enabled);

 private:
  struct Unhook {
    void operator()(void* hook) const;  // HWINEVENTHOOK
  };
  host::UniqueHandle<void*, Unhook> hook_;
};
#endif

}  // namespace tillkey
