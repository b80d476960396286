// Windows system error codes for what Linux reports as errno values. The per-thread last error
// they are set into is the one both backends share.
#pragma once

#include "host/WinDefs.h"
#include "platform/common/LastError.h"

namespace hidraw {

// Codes the services report beyond those of host/WinDefs.h (named apart from the SDK's macros).
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorSemTimeout = 121;
constexpr DWORD kErrorBusy = 170;
// The ones the virtual services report too.
using platform::common::kErrorInvalidData;
using platform::common::kErrorInvalidUserBuffer;
using platform::common::kErrorNoSuchDevinst;

// `error` is a positive errno value.
DWORD ErrorOfErrno(int error);

// The last-error slot both backends share.
using platform::common::SetError;

}  // namespace hidraw
