// Windows system error codes for what Linux reports as errno values. The per-thread last error
// they are set into is the one both backends share.
#pragma once

#include "host/WinDefs.h"
#include "host/posix/ErrnoErrors.h"
#include "platform/common/LastError.h"

namespace hidraw {

// The codes the services report beyond those of host/WinDefs.h.
using host::ErrorOfErrno;
using host::kErrorBusy;
using host::kErrorSemTimeout;
using host::kErrorTooManyOpenFiles;
// The ones the virtual services report too.
using platform::common::kErrorInvalidData;
using platform::common::kErrorInvalidUserBuffer;
using platform::common::kErrorNoSuchDevinst;

// The last-error slot both backends share.
using platform::common::SetError;

}  // namespace hidraw
