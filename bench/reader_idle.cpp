// What a selected drawer interface without input reports costs while it stays selected: its
// reader cannot start a single read, so everything rests on how it waits between failures. The
// device is checked out with a data handler for a while (10 s unless given), the process's CPU
// time is compared with the wall time, then the reader is stopped (timed) and the drawer opened
// through the same device, which must still work: the exit status says whether it did.
// Goals: under 1 % of a core while selected; the stop within 10 ms; bench/reader-idle judges them
// from the printed line.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/CpuTime.h"
#include "hid/HidControllerClass.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Timer.h"
#include "platform/virtual/VirtualHid.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counter : host::TComponent {
  using host::TComponent::TComponent;
  int errors = 0;
  void Data(hid::THidDevice*, BYTE, const void*, WORD) {}
  void Error(hid::THidDevice*, DWORD) { ++errors; }
  void Tick(host::TObject*) {}
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  virtualhid::Reset();
  virtualhid::RegisterLibraries();
  virtualhid::DeviceConfig config = virtualhid::ReadyDrawer();
  config.inputReportLength = 0;
  const virtualhid::DeviceId id = virtualhid::AddDevice(config);

  host::TApplication app;
  auto* controller = new hid::THidDeviceController(nullptr);
  app.ProcessMessages();  // the first enumeration
  hid::THidDevice* device = nullptr;
  if (!controller->CheckOutFirst(device)) {
    std::printf("reader-idle: the virtual drawer was not listed\n");
    return 1;
  }
  Counter counter(nullptr);
  // A steady tick, so the loop also wakes when the reader has nothing to hand over.
  host::TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer(host::TNotifyEvent::Of<&Counter::Tick>(&counter));
  device->SetOnReadError(hid::THidDataErrorEvent::Of<&Counter::Error>(&counter));

  const auto wallStart = Clock::now();
  const double cpuStart = bench::CpuSeconds();
  device->SetOnData(hid::THidDataEvent::Of<&Counter::Data>(&counter));
  const auto end = wallStart + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) app.HandleMessage();
  const double cpu = bench::CpuSeconds() - cpuStart;
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();

  const auto stopStart = Clock::now();
  device->SetOnData(nullptr);
  const double stopMs = Milliseconds(Clock::now() - stopStart);

  BYTE open[5] = {0, 'W', 79, 0, 'W' ^ 79};  // write 0 to address 79: the drawer opens
  const bool opened = device->WriteReport(open, sizeof open) && virtualhid::DrawerOpens(id) == 1;
  delete device;
  delete controller;
  virtualhid::Reset();

  const double share = 100.0 * cpu / wall;
  std::printf(
      "reader without input reports: cpu %.2f %% of wall over %.1f s (%d read errors); "
      "stop %.2f ms; open %s\n",
      share, wall, counter.errors, stopMs, opened ? "OK" : "FAILED");
  return opened ? 0 : 1;
}
