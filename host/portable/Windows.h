// The portable loop's windows as the window manager sees them, for the backend's window-manager
// model (host/portable/Shell.cpp) and for tests.
#pragma once

#include <set>
#include <string>

#include "host/WinDefs.h"

namespace host::portable {

struct WindowState {
  bool visible = false;
  bool iconic = false;
  std::string caption;
  std::set<UINT> acceptedFromLowerLevels;  // AcceptFromLowerLevels
};

bool WindowExists(HWND wnd);
// False when the window is gone.
bool ReadWindowState(HWND wnd, WindowState& state);
bool WriteWindowState(HWND wnd, const WindowState& state);
// The procedure the window's messages go to; null when the window is gone.
WNDPROC WindowProcOf(HWND wnd);
// Returns the procedure it had (null when the window is gone, and then nothing changes).
WNDPROC ReplaceWindowProc(HWND wnd, WNDPROC proc);

}  // namespace host::portable
