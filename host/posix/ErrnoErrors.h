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

// The text Windows gives for each code ErrorOfErrno returns ("Access is denied."), so that a
// message reads the same on every platform; "Unknown error." for any other code.
const char* TextOfError(DWORD code);

}  // namespace host
