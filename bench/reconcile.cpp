// What one device-change notification costs the GUI thread when a machine has many HID
// interfaces: 255 present on the virtual services (keyboards, mice, consumer controls, vendor
// devices of many feature report lengths, and one drawer), the controller and the data module's
// device list as the programs build them, the drawer selected with its reader running as the
// programs leave it once found. Each sample plugs one more interface in and times from the
// broadcast to the rebuilt list of 256 lines; the interface is then unplugged again (not timed)
// so the next sample is a real arrival with a new path and DevInst.
// Prints "reconcile 255: <median> ms" and a line with min, max, the number of samples and the
// processor time a sample took; the goal, a median of at most 5 ms natively, is judged by
// bench/reconcile.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/CpuTime.h"
#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "hid/HidControllerClass.h"
#include "host/Application.h"
#include "host/StdCtrls.h"
#include "platform/virtual/VirtualHid.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPresent = 255;
constexpr int kDrawerPosition = 200;  // anywhere but first: the scan has to walk to it
constexpr int kWarmUp = 5;

// A keyboard or a mouse: the system lets nobody but itself read or write them, only query.
virtualhid::DeviceConfig SystemInput(int n) {
  virtualhid::DeviceConfig c;
  const bool keyboard = n % 2 == 0;
  c.name = (keyboard ? "keyboard " : "mouse ") + std::to_string(n);
  if (n % 5 != 0) c.product = keyboard ? "USB Keyboard" : "USB Optical Mouse";
  c.vendorId = static_cast<std::uint16_t>(0x0400 + n % 16);
  c.productId = static_cast<std::uint16_t>(0x2000 + n);
  c.usagePage = 0x01;
  c.usage = keyboard ? 0x06 : 0x02;
  c.featureReportLength = keyboard && n % 3 == 0 ? 2 : 0;
  c.inputReportLength = keyboard ? 9 : 5;
  c.outputReportLength = keyboard ? 2 : 0;
  c.access = virtualhid::Access::QueryOnly;
  c.firmware = virtualhid::Firmware::None;
  return c;
}

// Media keys, headsets, UPS and the like: open to anyone.
virtualhid::DeviceConfig ConsumerControl(int n) {
  virtualhid::DeviceConfig c;
  c.name = "consumer " + std::to_string(n);
  c.product = "USB Audio Control";
  c.vendorId = 0x0D8C;
  c.productId = static_cast<std::uint16_t>(0x0100 + n);
  c.usagePage = 0x0C;
  c.usage = 0x01;
  c.featureReportLength = 0;
  c.inputReportLength = 3;
  c.firmware = virtualhid::Firmware::None;
  return c;
}

// Vendor-defined interfaces with feature reports of every common length, five included, most
// with a product string that is not the drawer's.
virtualhid::DeviceConfig VendorDevice(int n) {
  static constexpr std::uint16_t kFeatureLengths[] = {0, 2, 5, 8, 9, 17, 33, 64, 65, 255};
  virtualhid::DeviceConfig c;
  c.name = "vendor " + std::to_string(n);
  if (n % 4 != 0) c.product = "Vendor Device " + std::to_string(n);
  c.vendorId = static_cast<std::uint16_t>(0x1000 + n % 32);
  c.productId = static_cast<std::uint16_t>(0x0001 + n);
  c.featureReportLength = kFeatureLengths[static_cast<std::size_t>(n) % std::size(kFeatureLengths)];
  c.inputReportLength = n % 3 == 0 ? 0 : 65;
  c.firmware =
      c.featureReportLength == 0 ? virtualhid::Firmware::None : virtualhid::Firmware::Silent;
  return c;
}

virtualhid::DeviceConfig Interface(int n) {
  switch (n % 8) {
    case 0:
    case 1:
    case 2:
      return SystemInput(n);
    case 3:
      return ConsumerControl(n);
    default:
      return VendorDevice(n);
  }
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Every line carries a checked-out device, as the rebuild leaves them.
bool ListIsWhole(const host::TListBox& list, int lines) {
  if (list.Count() != lines) return false;
  for (int i = 0; i < lines; ++i) {
    const auto* device = static_cast<const hid::THidDevice*>(list.Objects(i));
    if (device == nullptr || !device->CheckedOut()) return false;
  }
  return true;
}

// Leaves the drawer selected as the programs do once they have found it: its reader runs, and
// the rebuild has to stop it.
bool SelectDrawer(Main_u::TMainForm& form) {
  form.DevListBox->SetItemIndex(kDrawerPosition);
  form.DevListBoxClick(nullptr);
  const hid::THidDevice* device = Data_module::CurrentDevice;
  return device != nullptr && device->Reader() != nullptr && form.IsDrawerDevice();
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  virtualhid::Reset();
  virtualhid::RegisterLibraries();
  for (int n = 0; n < kPresent; ++n) {
    virtualhid::AddDevice(n == kDrawerPosition ? virtualhid::ReadyDrawer() : Interface(n));
  }
  virtualhid::DeviceConfig arriving;
  arriving.name = "arriving";
  arriving.product = "USB Barcode Scanner";
  arriving.vendorId = 0x05E0;
  arriving.productId = 0x1200;
  arriving.featureReportLength = 9;
  arriving.inputReportLength = 65;
  arriving.firmware = virtualhid::Firmware::Silent;
  const virtualhid::DeviceId extra = virtualhid::AddDevice(arriving, false);

  int status = 0;
  {
    host::TApplication app;
    Data_module::TDataModule1* module = nullptr;
    Main_u::TMainForm* form = nullptr;
    app.CreateForm(module);
    app.CreateForm(form);
    app.ProcessMessages();  // the first enumeration and the first rebuild
    host::TListBox& list = *form->DevListBox;
    if (!ListIsWhole(list, kPresent)) {
      std::printf("reconcile: the first rebuild listed %d of %d interfaces\n", list.Count(),
                  kPresent);
      return 1;
    }

    std::vector<double> times;
    double cpuSeconds = 0;  // of the process, over the timed spans only
    for (int i = 0; i < kWarmUp + samples && status == 0; ++i) {
      if (!SelectDrawer(*form)) {
        std::printf("reconcile: the drawer could not be selected with its reader running\n");
        status = 1;
        break;
      }
      const double cpuStart = bench::CpuSeconds();
      const auto start = Clock::now();
      virtualhid::Plug(extra);  // posts the broadcast
      app.ProcessMessages();
      const auto end = Clock::now();
      const double cpu = bench::CpuSeconds() - cpuStart;
      if (list.Count() != kPresent + 1) {
        std::printf("reconcile: after the arrival the list has %d lines, not %d\n", list.Count(),
                    kPresent + 1);
        status = 1;
      } else if (!ListIsWhole(list, kPresent + 1) || Data_module::CurrentDevice != nullptr) {
        std::printf("reconcile: the rebuilt list is not whole, or the selection outlived it\n");
        status = 1;
      }
      if (i >= kWarmUp) {
        times.push_back(Milliseconds(end - start));
        cpuSeconds += cpu;
      }
      virtualhid::Unplug(extra);
      app.ProcessMessages();
      if (status == 0 && list.Count() != kPresent) {
        std::printf("reconcile: after the removal the list has %d lines, not %d\n", list.Count(),
                    kPresent);
        status = 1;
      }
    }
    if (status == 0) {
      std::sort(times.begin(), times.end());
      const std::size_t n = times.size();
      const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
      std::printf("reconcile %d: %.2f ms\n", kPresent, median);
      // The processor time tells the cost of the work from the wait for a core on a busy machine.
      std::printf(
          "reconcile %d: min %.2f ms, max %.2f ms, samples %zu (after %d warm-up), cpu %.2f ms a "
          "sample; the drawer selected, its reader running\n",
          kPresent, times.front(), times.back(), n, kWarmUp, 1000 * cpuSeconds / n);
    }
    // The application destroys the form, whose destruction checks every listed device in, and
    // the data module with the controller.
  }
  virtualhid::Reset();
  return status;
}
