// Owners of libudev objects: each releases its reference once.
#pragma once

#include <libudev.h>

#include <memory>

namespace hidraw::detail {

template <class T, T* (*Unref)(T*)>
struct UdevRelease {
  void operator()(T* object) const {
    if (object != nullptr) Unref(object);
  }
};

using UdevPtr = std::unique_ptr<udev, UdevRelease<udev, udev_unref>>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevRelease<udev_device, udev_device_unref>>;
using UdevEnumeratePtr =
    std::unique_ptr<udev_enumerate, UdevRelease<udev_enumerate, udev_enumerate_unref>>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevRelease<udev_monitor, udev_monitor_unref>>;

}  // namespace hidraw::detail
