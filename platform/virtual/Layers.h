// The entry points each virtual library implements; platform/common adds the ones every backend
// serves alike and registers them.
#pragma once

#include "platform/common/Exports.h"

namespace virtualhid::detail {

platform::common::HidExports HidEntries();
platform::common::SetupApiExports SetupApiEntries();
platform::common::Kernel32Exports Kernel32Entries();

}  // namespace virtualhid::detail
