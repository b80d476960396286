// The Linux HID services: in-process "HID.dll", "SetupApi.dll" and the kernel32 file calls over
// hidraw and libudev, so that the HID layer runs unchanged on real devices. Device paths are the
// /dev/hidrawN nodes; an interface the user may not open is refused (ERROR_ACCESS_DENIED) and so
// left out of the controller's list, as on Windows.
//
// Any thread may call the entry points. An overlapped read is served while the thread that issued
// it waits (an alertable SleepEx, or GetOverlappedResult told to wait), and its completion
// routine runs on that thread inside an alertable SleepEx.
#pragma once

#include <iosfwd>
#include <memory>

#include "platform/hidraw/System.h"

namespace hidraw {

class HotplugWatch;

// The machine itself: libudev and sysfs for the directory, the kernel's hidraw calls. libudev is
// loaded here; when it cannot be, the reason goes to `errors` (standard error without one), once,
// and the directory lists no devices.
System LinuxSystem(std::ostream& errors);
System LinuxSystem();

// While it lives, the three libraries are registered over `system`, and a thread of its own turns
// the directory's hot-plug notifications into device-change broadcasts (WM_DEVICECHANGE,
// DBT_DEVNODES_CHANGED) to the process's windows. One at a time. Handles opened meanwhile stay
// usable after it has gone; new openings are refused.
class Registration {
 public:
  explicit Registration(System system);
  ~Registration();
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  // Whether hot-plug notifications could be had from the directory.
  bool Watching() const;

 private:
  std::unique_ptr<HotplugWatch> watch_;
};

// ---- Observation (tests check that nothing is left behind) ---------------------------------

int OpenHandles();
int PendingReads();
int PreparsedDataAlive();
int DeviceInfoSetsAlive();

}  // namespace hidraw
