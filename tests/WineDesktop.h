// The desktop as Wine shows it on the test display, for tests that act from outside a program:
// the icons of Wine's own tray window, and mouse clicks through the system's input path.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace till_testing {

// The shown icons of Wine's own tray window, left to right; none when there is no tray window.
inline std::vector<HWND> WineTrayIcons() {
  std::vector<HWND> icons;
  HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
  for (HWND child = tray != nullptr ? GetWindow(tray, GW_CHILD) : nullptr; child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring(name) != L"__winex11_tray_icon" || !IsWindowVisible(child)) continue;
    RECT r;
    GetWindowRect(child, &r);
    auto at = icons.begin();
    while (at != icons.end()) {
      RECT other;
      GetWindowRect(*at, &other);
      if (other.left > r.left) break;
      ++at;
    }
    icons.insert(at, child);
  }
  return icons;
}

inline POINT Centre(HWND wnd) {
  RECT r;
  GetWindowRect(wnd, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A press and release of one mouse button at a screen point, through the system's input path.
inline bool ClickAt(POINT at, DWORD down, DWORD up) {
  const int cx = GetSystemMetrics(SM_CXSCREEN);
  const int cy = GetSystemMetrics(SM_CYSCREEN);
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) input.type = INPUT_MOUSE;
  inputs[0].mi.dx = at.x * 65535 / (cx - 1);
  inputs[0].mi.dy = at.y * 65535 / (cy - 1);
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = down;
  inputs[2].mi.dwFlags = up;
  for (INPUT& input : inputs) {
    if (SendInput(1, &input, sizeof(INPUT)) != 1) return false;
    Sleep(5);  // pacing between the events of one click, not a wait for anything
  }
  return true;
}

}  // namespace till_testing
