// The machine's own directory and device calls: libudev and sysfs, open(2) and the hidraw ioctls.
#pragma once

#include <memory>

#include "platform/hidraw/System.h"

namespace hidraw::detail {

std::shared_ptr<DeviceDirectory> MakeUdevDirectory();
std::shared_ptr<DeviceIo> MakeKernelIo();

}  // namespace hidraw::detail
