#include "platform/common/ThreadSlot.h"

#include <atomic>

namespace platform::common {

std::uint64_t NextThreadKey() {
  static std::atomic<std::uint64_t> next{0};
  return ++next;
}

}  // namespace platform::common
