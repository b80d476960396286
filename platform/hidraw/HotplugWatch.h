// Turns hot-plug notifications into the system's device-change broadcast (WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED) to the process's windows, from a thread of its own.
#pragma once

#include <memory>
#include <thread>

#include "platform/hidraw/Fd.h"
#include "platform/hidraw/System.h"

namespace hidraw {

class HotplugWatch {
 public:
  // A null source watches nothing (and starts no thread).
  explicit HotplugWatch(std::unique_ptr<ChangeSource> source);
  // Wakes the thread and waits for it: it ends at once, whatever it was doing.
  ~HotplugWatch();
  HotplugWatch(const HotplugWatch&) = delete;
  HotplugWatch& operator=(const HotplugWatch&) = delete;

  bool Running() const { return thread_.joinable(); }

 private:
  void Run();

  std::unique_ptr<ChangeSource> source_;
  UniqueFd stop_;
  std::thread thread_;
};

}  // namespace hidraw
