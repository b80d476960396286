// The machine's own directory and device calls: libudev and sysfs, open(2) and the hidraw ioctls.
#pragma once

#include <iosfwd>
#include <memory>

#include "platform/hidraw/System.h"

namespace hidraw::detail {

// Over libudev, loaded from `libraryName` (kUdevLibraryName) now. When it cannot be loaded, the
// reason goes to `errors` and the directory lists nothing and watches nothing.
std::shared_ptr<DeviceDirectory> MakeUdevDirectory(const char* libraryName, std::ostream& errors);
std::shared_ptr<DeviceIo> MakeKernelIo();

}  // namespace hidraw::detail
