// What the notification-area icon needs of the window manager and the shell. On the Win32 backend
// these are the user32, shell32 and comctl32 calls themselves; the portable backend keeps a model
// of them (host/portable/ShellModel.h lets tests look at it and speak for the shell and the
// person at the mouse).
#pragma once

#include <cstdint>

#include "host/WinDefs.h"

namespace host {

// Adds, changes or removes an icon of the notification area; true when the shell accepted it.
bool Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);

// The pointer's screen position; false when it cannot be read.
bool GetCursorPos(POINT* point);
// The top bit is set while the key is down.
std::int16_t GetAsyncKeyState(int virtualKey);
UINT GetDoubleClickTime();

bool SetForegroundWindow(HWND wnd);
bool IsWindowVisible(HWND wnd);
// Whether the window is minimized. Called as host::IsIconic: on Windows the system's own is found
// too.
bool IsIconic(HWND wnd);
// Returns whether the window was visible before.
bool ShowWindow(HWND wnd, int command);

// The message number every program of the session gets for `name`; 0 when it cannot be had.
UINT RegisterWindowMessageA(const char* name);

// A window's procedure slot (GWLP_WNDPROC), through the pointer-sized calls: the 32-bit ones
// cannot hold an address on 64-bit Windows.
LONG_PTR GetWindowLongPtrA(HWND wnd, int index);
LONG_PTR SetWindowLongPtrA(HWND wnd, int index, LONG_PTR value);
LRESULT CallWindowProcA(WNDPROC proc, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The common-controls library's version: major in the high 16 bits, minor in the low; 0 when it
// cannot be told.
DWORD GetComCtlVersion();

}  // namespace host
