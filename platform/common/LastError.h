// The per-thread last error that GetLastError and SetLastError of the services' kernel32 serve,
// and the system error codes both backends report beyond those of host/WinDefs.h.
#pragma once

#include "host/WinDefs.h"

namespace platform::common {

// Named apart from the SDK's macros, which exist on Windows.
constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorNoSuchDevinst = 0xE000020Bu;

// One slot per thread, whichever backend is registered, as the system keeps one per thread.
void SetError(DWORD error);
DWORD LastError();

// Sets `error` and returns FALSE: how most entry points fail.
BOOL Fail(DWORD error);

}  // namespace platform::common
