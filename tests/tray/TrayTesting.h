// What the tray tests share: running the portable loop for a stretch of virtual time.
#pragma once

#include <cstdint>

#include "host/Application.h"
#include "host/Timer.h"

namespace till_testing {

// Dispatches everything that falls due within the next `milliseconds` of the clock (virtual in
// these tests: the loop jumps from deadline to deadline), then returns.
inline void RunFor(host::TApplication& app, unsigned milliseconds) {
  struct Stop : host::TComponent {
    using host::TComponent::TComponent;
    bool done = false;
    void Tick(host::TObject*) { done = true; }
  } stop(nullptr);
  host::TTimer timer(&stop);
  timer.SetInterval(milliseconds);
  timer.SetOnTimer(host::TNotifyEvent::Of<&Stop::Tick>(&stop));
  while (!stop.done) app.HandleMessage();
  app.ProcessMessages();
}

}  // namespace till_testing
