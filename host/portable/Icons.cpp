// Icons without a screen: a handle stands for a picture, and the program's own icon is the one
// resource there is. Live handles are counted, so tests see a leak.
#include <cstdint>
#include <mutex>
#include <set>

#include "host/Icons.h"
#include "host/portable/IconHandles.h"

namespace host {
namespace {

struct Handles {
  std::mutex mutex;
  std::set<HICON> live;
  std::uintptr_t next = 0x1000;
};

Handles& TheHandles() {
  static Handles handles;
  return handles;
}

HICON NewHandle() {
  Handles& handles = TheHandles();
  std::lock_guard<std::mutex> lock(handles.mutex);
  handles.next += 4;
  HICON icon = reinterpret_cast<HICON>(handles.next);
  handles.live.insert(icon);
  return icon;
}

}  // namespace

HICON LoadIconResource(const std::string& name) {
  return name == kProgramIconName ? NewHandle() : nullptr;
}

HICON CopyIconHandle(HICON icon) {
  {
    Handles& handles = TheHandles();
    std::lock_guard<std::mutex> lock(handles.mutex);
    if (handles.live.count(icon) == 0) return nullptr;
  }
  return NewHandle();
}

void DestroyIconHandle(HICON icon) {
  Handles& handles = TheHandles();
  std::lock_guard<std::mutex> lock(handles.mutex);
  handles.live.erase(icon);
}

namespace portable {
std::size_t LiveIconCount() {
  Handles& handles = TheHandles();
  std::lock_guard<std::mutex> lock(handles.mutex);
  return handles.live.size();
}
}  // namespace portable

}  // namespace host
