// Device-change broadcast codes: the wParam of WM_DEVICECHANGE (which host/WinDefs.h has). As
// with the setup library's records, no SDK header of these is included anywhere: this is the one
// definition on every platform.
#pragma once

#include "host/WinDefs.h"

// Devices were added to or removed from the system (sent with lParam 0).
constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;
