#include "platform/common/AlertableWait.h"

#include <algorithm>
#include <thread>

namespace platform::common {
namespace {

DWORD PlainSleep(const Deadline& deadline) {
  while (!deadline.Passed()) {
    std::this_thread::sleep_until(
        deadline.Forever() ? Deadline::Clock::now() + std::chrono::hours(24) : deadline.At());
  }
  return 0;
}

bool TakeRoutines(const AlertableWait& backend, std::uint64_t thread, std::deque<Apc>& due) {
  std::lock_guard<std::mutex> lock(backend.mutex);
  return backend.apcs.Take(thread, due);
}

}  // namespace

Deadline::Deadline(DWORD milliseconds)
    : forever_(milliseconds == INFINITE),
      at_(Clock::now() + std::chrono::milliseconds(milliseconds)) {}

DWORD Deadline::RemainingMilliseconds() const {
  if (forever_) return INFINITE;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now());
  return static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0));
}

DWORD ServeSleepEx(DWORD milliseconds, BOOL alertable, const AlertableWait& backend) {
  const Deadline deadline(milliseconds);
  if (!alertable) return PlainSleep(deadline);
  const std::uint64_t thread = backend.currentThread();
  std::deque<Apc> due;
  // Waiting comes before the clock is asked, so even a wait of 0 lets a backend complete what
  // is ready.
  while (!TakeRoutines(backend, thread, due)) {
    backend.wait(thread, deadline);
    if (TakeRoutines(backend, thread, due)) break;
    if (deadline.Passed()) return 0;
  }
  RunRoutines(due);
  return WAIT_IO_COMPLETION;
}

}  // namespace platform::common
