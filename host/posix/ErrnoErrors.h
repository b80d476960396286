// Windows system error codes for what POSIX systems report as errno values, so that a failure
// reads the same on every platform (the HID services' last error, the shared memory's codes).
#pragma once

#include "host/WinDefs.h"

namespace host {

// Codes beyond those of host/WinDefs.h (named apart from the SDK's macros).
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorSemTimeout = 121;
constexpr DWORD kErrorBusy = 170;

// `error` is a positive errno value.
DWORD ErrorOfErrno(int error);

}  // namespace host
