// A randomized soak of the controller on the virtual HID services: plugging, unplugging,
// check-out, check-in, data handlers (real reader threads), input reports and notifications in
// random order, with the controller's counts and list checked after every step and every input
// report checked as it arrives. At the end every interface that can read must still deliver,
// and one pulled out under its reader must report read errors.
//
//   controller_soak [SEED [STEPS]]     (or SOAK_SEED / SOAK_STEPS in the environment)
// A failure names its seed and step; running again with that seed replays it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hid/HidControllerClass.h"
#include "host/Application.h"
#include "host/Timer.h"
#include "platform/virtual/VirtualHid.h"
#include "tests/Pump.h"

namespace {

using hid::THidDevice;

// What reaches the application, judged against what was queued: each report once, to the
// interface (and plug) it was queued on, in the order queued there. Bytes 1 to 3 of a report
// carry its serial number, byte 4 a mark.
struct Sink {
  static constexpr BYTE kMark = 0xA5;
  struct Queued {
    DWORD devInst;
    bool delivered;
  };
  std::map<std::uint32_t, Queued> queued;
  std::map<DWORD, std::uint32_t> lastDelivered;  // by DevInst
  long reports = 0;
  long errors = 0;
  std::string problem;  // the first thing that went wrong

  void Data(THidDevice* device, BYTE reportId, const void* data, WORD size) {
    ++reports;
    const auto* b = static_cast<const BYTE*>(data);
    if (reportId != 0 || size != 4 || b[3] != kMark) return Problem("a report nobody sent");
    const std::uint32_t serial = b[0] | (b[1] << 8) | (b[2] << 16);
    auto it = queued.find(serial);
    if (it == queued.end()) return Problem("report " + std::to_string(serial) + " never queued");
    if (it->second.delivered) return Problem("report " + std::to_string(serial) + " twice");
    it->second.delivered = true;
    if (device->PnPInfo()->DeviceID != it->second.devInst) {
      return Problem("report " + std::to_string(serial) + " delivered for another interface");
    }
    std::uint32_t& last = lastDelivered[it->second.devInst];
    if (serial < last) return Problem("report " + std::to_string(serial) + " out of order");
    last = serial;
  }
  void Error(THidDevice*, DWORD error) {
    ++errors;
    if (error == 0) Problem("a read error without its code");
  }
  void Problem(const std::string& what) {
    if (problem.empty()) problem = what;
  }
};

class Soak {
 public:
  Soak(unsigned seed, int steps) : rng_(seed), seed_(seed), steps_(steps) {}

  int Run() {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    for (int i = 0; i < kDevices; ++i) {
      auto cfg = virtualhid::ReadyDrawer();
      cfg.name = "drawer" + std::to_string(i);
      if (i == kDevices - 1) cfg.access = virtualhid::Access::QueryOnly;  // never gets a reader
      ids_.push_back(virtualhid::AddDevice(cfg, i % 2 == 0));
    }
    {
      host::TApplication app;
      controller_ = new hid::THidDeviceController(nullptr);
      app.ProcessMessages();
      // Only the devices listed at this moment take it over.
      controller_->SetOnDeviceDataError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink_));
      for (step_ = 1; step_ <= steps_ && failures_ == 0; ++step_) {
        Step(app);
        Check();
      }
      if (failures_ == 0) Finish(app);
      for (THidDevice* device : held_) delete device;
      held_.clear();
      delete controller_;
      app.ProcessMessages();
    }
    if (failures_ == 0 && virtualhid::OpenHandles() != 0) {
      Fail("handles left open after everything was released: " +
           std::to_string(virtualhid::OpenHandles()));
    }
    virtualhid::Reset();
    std::printf("soak: seed %u, steps %d\n", seed_, step_ - 1);
    std::printf("soak: %ld of %zu reports and %ld read errors delivered; %d failure(s)\n",
                sink_.reports, sink_.queued.size(), sink_.errors, failures_);
    if (failures_ == 0) std::printf("1 passed, 0 failed\n");
    return failures_ == 0 ? 0 : 1;
  }

 private:
  static constexpr int kDevices = 6;

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  void Step(host::TApplication& app) {
    switch (Pick(10)) {
      case 0:
        virtualhid::Plug(ids_[static_cast<size_t>(Pick(kDevices))]);
        break;
      case 1:
        virtualhid::Unplug(ids_[static_cast<size_t>(Pick(kDevices))]);
        break;
      case 2:
      case 3: {
        THidDevice* device = nullptr;
        bool taken = Pick(2) == 0 ? controller_->CheckOutFirst(device)
                                  : controller_->CheckOutByIndex(
                                        device, Pick(controller_->DeviceCount() + 2) - 1);
        if (taken) {
          device->SetSleepTime(10);  // keeps stops short; new objects start at 100
          held_.push_back(device);
        }
        break;
      }
      case 4:
        if (!held_.empty()) {
          size_t at = static_cast<size_t>(Pick(static_cast<int>(held_.size())));
          THidDevice* device = held_[at];
          held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(at));
          delete device;  // the check-in
        }
        break;
      case 5:
        if (!held_.empty()) {
          THidDevice* device = held_[static_cast<size_t>(Pick(static_cast<int>(held_.size())))];
          device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink_));
          device->SetOnData(Pick(2) == 0 ? hid::THidDataEvent::Of<&Sink::Data>(&sink_)
                                         : hid::THidDataEvent());
        }
        break;
      case 6:
        Queue(ids_[static_cast<size_t>(Pick(kDevices))]);
        break;
      case 7:
        controller_->DeviceChange();
        break;
      default:
        app.ProcessMessages();  // the broadcasts of earlier plugging reach the controller here
        break;
    }
  }

  // Queues a report with the next serial number; returns it, or 0 when the interface took none.
  std::uint32_t Queue(virtualhid::DeviceId id) {
    const std::uint32_t serial = ++serial_;
    const DWORD devInst = virtualhid::DevInst(id);
    if (!virtualhid::QueueInputReport(id,
                                      {0, static_cast<BYTE>(serial), static_cast<BYTE>(serial >> 8),
                                       static_cast<BYTE>(serial >> 16), Sink::kMark})) {
      return 0;
    }
    sink_.queued[serial] = {devInst, false};
    return serial;
  }

  void Finish(host::TApplication& app) {
    for (virtualhid::DeviceId id : ids_) virtualhid::Plug(id);
    app.ProcessMessages();
    for (THidDevice* device : held_) delete device;
    held_.clear();
    THidDevice* device = nullptr;
    while (controller_->CheckOutFirst(device)) {
      held_.push_back(device);
      device->SetSleepTime(10);
      device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink_));
      device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink_));
    }
    Check();
    if (failures_ != 0) return;
    const auto readers = std::count_if(held_.begin(), held_.end(),
                                       [](THidDevice* d) { return d->Reader() != nullptr; });
    if (readers != kDevices - 1) return Fail(std::to_string(readers) + " readers at the end");
    std::vector<std::uint32_t> last;
    for (size_t i = 0; i + 1 < ids_.size(); ++i) last.push_back(Queue(ids_[i]));
    if (std::count(last.begin(), last.end(), 0u) != 0)
      return Fail("a plugged interface took no report");
    if (!till_testing::PumpUntil([&] {
          return std::all_of(last.begin(), last.end(),
                             [&](std::uint32_t s) { return sink_.queued[s].delivered; });
        })) {
      return Fail("a last report did not arrive although every interface had a reader");
    }
    const long errorsBefore = sink_.errors;
    virtualhid::Unplug(ids_[0]);
    if (!till_testing::PumpUntil([&] { return sink_.errors > errorsBefore; })) {
      return Fail("a reader whose interface was pulled out reported no read error");
    }
    if (!sink_.problem.empty()) Fail(sink_.problem);
  }

  void Fail(const std::string& what) {
    ++failures_;
    std::fprintf(stderr, "soak: seed %u, step %d: %s\n", seed_, step_, what.c_str());
  }

  // What must hold between notifications, whatever happened before.
  void Check() {
    if (!sink_.problem.empty()) return Fail(sink_.problem);
    int checkedIn = 0, checkedOut = 0, unplugged = 0;
    std::set<const THidDevice*> listed;
    std::set<DWORD> pluggedIds;
    for (int i = 0; i < controller_->DeviceCount(); ++i) {
      THidDevice* device = controller_->Device(i);
      if (device == nullptr) return Fail("empty slot in the list");
      if (!listed.insert(device).second) return Fail("a device listed twice");
      if (device->Controller() != controller_) return Fail("listed device without its controller");
      if (device->CheckedOut()) {
        ++checkedOut;
        if (std::find(held_.begin(), held_.end(), device) == held_.end()) {
          return Fail("checked-out device in the list that the application does not hold");
        }
      } else {
        ++checkedIn;
        if (!device->PluggedIn()) return Fail("a checked-in device that is not plugged in");
        if (device->Reader() != nullptr) return Fail("a checked-in device with a reader");
      }
      if (!device->PluggedIn()) {
        ++unplugged;
      } else if (!pluggedIds.insert(device->PnPInfo()->DeviceID).second) {
        return Fail("two plugged-in objects for one interface");
      }
    }
    if (controller_->CheckedInCount() != checkedIn) {
      return Fail("CheckedInCount " + std::to_string(controller_->CheckedInCount()) +
                  " != " + std::to_string(checkedIn));
    }
    if (controller_->UnpluggedCount() != unplugged) {
      return Fail("UnpluggedCount " + std::to_string(controller_->UnpluggedCount()) +
                  " != " + std::to_string(unplugged));
    }
    if (controller_->CheckedOutCount() != checkedOut - unplugged) {
      return Fail("CheckedOutCount " + std::to_string(controller_->CheckedOutCount()) +
                  " != " + std::to_string(checkedOut - unplugged));
    }
    for (THidDevice* device : held_) {
      if (listed.count(device) == 0) return Fail("a held device fell out of the list");
    }
  }

  std::mt19937 rng_;
  unsigned seed_;
  int steps_;
  int step_ = 0;
  int failures_ = 0;
  std::uint32_t serial_ = 0;
  std::vector<virtualhid::DeviceId> ids_;
  std::vector<THidDevice*> held_;
  hid::THidDeviceController* controller_ = nullptr;
  Sink sink_;
};

unsigned SeedFrom(int argc, char** argv) {
  if (argc > 1) return static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
  if (const char* s = std::getenv("SOAK_SEED"))
    return static_cast<unsigned>(std::strtoul(s, nullptr, 10));
  return std::random_device{}();
}

int StepsFrom(int argc, char** argv) {
  if (argc > 2) return std::atoi(argv[2]);
  if (const char* s = std::getenv("SOAK_STEPS")) return std::atoi(s);
  return 10000;
}

}  // namespace

int main(int argc, char** argv) {
  return Soak(SeedFrom(argc, argv), StepsFrom(argc, argv)).Run();
}
