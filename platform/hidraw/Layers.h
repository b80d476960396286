// The entry points each hidraw library implements; platform/common adds the ones every backend
// serves alike and registers them.
#pragma once

#include "platform/common/Exports.h"

namespace hidraw::detail {

platform::common::HidExports HidEntries();
platform::common::SetupApiExports SetupApiEntries();
platform::common::Kernel32Exports Kernel32Entries();

}  // namespace hidraw::detail
