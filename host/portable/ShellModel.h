// The portable backend's window manager and shell (host/Shell.h): a model that records what the
// program asked of them, and lets tests speak for the shell (its notifications, a new taskbar)
// and for the person at the mouse and keyboard.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace host::portable {

// One Shell_NotifyIconA call: the record as the shell read it (cbSize bytes of it; the rest zero)
// and what it answered.
struct ShellCall {
  DWORD message = 0;
  NOTIFYICONDATAA data{};
  bool result = false;
};
std::vector<ShellCall> TakeShellCalls();
// The icons in the notification area, oldest first.
std::vector<NOTIFYICONDATAA> TrayIcons();
// While set, every Shell_NotifyIconA call fails.
void FailShellCalls(bool fail);
// The shell tells the icon at `index` of TrayIcons() about a mouse event (`event` is its lParam),
// as it does: a message posted to the icon's window. False when there is no such icon.
bool NotifyTrayIcon(std::size_t index, UINT event);
// The taskbar is created anew (the shell restarted): the icons are forgotten and every top-level
// window is told "TaskbarCreated".
void RecreateTaskbar();

// The pointer and the keys as GetCursorPos and GetAsyncKeyState read them.
void SetCursor(int x, int y);
void FailCursorReads(bool fail);
void SetKeyDown(int virtualKey, bool down);
void SetComCtlVersion(DWORD version);

// The windows SetForegroundWindow was asked for, oldest first.
std::vector<HWND> TakeForegroundRequests();

// Everything back as at start: no icons, no calls, the pointer at (0, 0), no key down,
// 500 ms double-click time, version 6.0.
void ResetShell();

}  // namespace host::portable
