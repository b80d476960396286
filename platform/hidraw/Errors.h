// Windows system error codes for what Linux reports as errno values, and the per-thread last
// error that GetLastError and SetLastError of the hidraw kernel32 serve.
#pragma once

#include "host/WinDefs.h"

namespace hidraw {

// Codes the services report beyond those of host/WinDefs.h (named apart from the SDK's macros).
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorSemTimeout = 121;
constexpr DWORD kErrorBusy = 170;
constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorNoSuchDevinst = 0xE000020Bu;

// `error` is a positive errno value.
DWORD ErrorOfErrno(int error);

void SetError(DWORD error);
DWORD LastError();

}  // namespace hidraw
