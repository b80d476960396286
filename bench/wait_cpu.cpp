// How much processor time a message-pumping wait costs: a 50 ms timer ticks while the loop waits
// two seconds, and the process's CPU time is compared with the wall time. A wait that spins shows
// up as ~100 %; one that blocks until the next message costs next to nothing.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "bench/CpuTime.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Timer.h"

namespace {

using bench::CpuSeconds;

struct Ticker : host::TComponent {
  using host::TComponent::TComponent;
  int ticks = 0;
  void Tick(host::TObject*) { ++ticks; }
};

}  // namespace

int main(int argc, char** argv) {
  const char* backend = argc > 1 ? argv[1] : "portable";
  host::TApplication app;
  Ticker ticker(nullptr);
  host::TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer(host::TNotifyEvent::Of<&Ticker::Tick>(&ticker));

  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  const std::int64_t end = host::TickCountMs() + 2000;
  while (host::TickCountMs() < end) app.HandleMessage();
  const double cpu = CpuSeconds() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  std::printf("%s: cpu %.1f %% of wall (%d ticks in %.2f s)\n", backend, 100.0 * cpu / wall,
              ticker.ticks, wall);
  return ticker.ticks >= 30 ? 0 : 1;  // a loop that stopped dispatching is a failure too
}
