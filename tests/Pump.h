// Serving the test thread's messages while a test waits, as the programs' own loops do (which is
// also when the system serves the thread's hooks and sent messages): until something holds, or
// for a stretch of the loop's clock.
#pragma once

#include <chrono>
#include <cstdint>

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Timer.h"

namespace till_testing {

// Dispatches messages and due timers until `done` holds; false when it still does not after
// `limit` of real time, a bound that only a fault reaches. Another thread may bring `done` about
// without a message, so a short timer wakes the wait to look again.
template <class Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  struct Look : host::TComponent {
    using host::TComponent::TComponent;
    void Tick(host::TObject*) {}
  } look(nullptr);
  host::TTimer timer(&look);
  timer.SetInterval(5);
  timer.SetOnTimer(host::TNotifyEvent::Of<&Look::Tick>(&look));
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    host::DispatchPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    host::WaitForMessage();
  }
}

// Dispatches everything that falls due within the next `milliseconds` of the loop's clock (on the
// virtual clock the loop jumps from deadline to deadline), then returns.
inline void RunFor(host::TApplication& app, std::int64_t milliseconds) {
  struct Stop : host::TComponent {
    using host::TComponent::TComponent;
    bool done = false;
    void Tick(host::TObject*) { done = true; }
  } stop(nullptr);
  host::TTimer timer(&stop);
  timer.SetInterval(static_cast<UINT>(milliseconds));
  timer.SetOnTimer(host::TNotifyEvent::Of<&Stop::Tick>(&stop));
  while (!stop.done) app.HandleMessage();
  app.ProcessMessages();
}

}  // namespace till_testing
