// SleepEx as the services serve it: a plain sleep that only time ends, or an alertable wait that
// ends by running the routines queued for the thread (WAIT_IO_COMPLETION) or when time is up.
// How the thread waits for a routine is the backend's: the virtual services wait to be
// notified, the hidraw ones serve the thread's own reads meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "host/WinDefs.h"
#include "platform/common/Completion.h"

namespace platform::common {

// When a wait of `milliseconds` ends; INFINITE: never.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Deadline(DWORD milliseconds);

  bool Forever() const { return forever_; }
  Clock::time_point At() const { return at_; }
  // The clock is asked rather than a timed wait's own verdict trusted: some thread libraries end
  // a timed wait a little early.
  bool Passed() const { return !forever_ && Clock::now() >= at_; }
  // What is left, rounded up; INFINITE for a wait without end.
  DWORD RemainingMilliseconds() const;

 private:
  bool forever_;
  Clock::time_point at_;
};

// The backend's side of SleepEx: its queues with the lock that guards them, the calling thread's
// key (asked only for an alertable wait: a backend may set up the thread on the first call), and
// how to wait.
struct AlertableWait {
  std::mutex& mutex;
  ApcQueues& apcs;
  std::uint64_t (*currentThread)();
  // Blocks until a routine may have been queued for `thread` or `deadline` has passed; may
  // return early. Called without the lock.
  void (*wait)(std::uint64_t thread, const Deadline& deadline);
};

DWORD ServeSleepEx(DWORD milliseconds, BOOL alertable, const AlertableWait& backend);

}  // namespace platform::common
