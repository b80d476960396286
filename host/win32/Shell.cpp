// The real window manager and shell: straight through to user32, shell32 and comctl32.
#include "host/Shell.h"

#include "hid/SystemLibrary.h"
#include "host/UniqueHandle.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <windows.h>

namespace host {
namespace {

struct LibraryRelease {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedLibrary = UniqueHandle<HMODULE, LibraryRelease>;

}  // namespace

bool Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
  return ::Shell_NotifyIconA(message, data) != FALSE;
}

bool GetCursorPos(POINT* point) {
  return ::GetCursorPos(point) != FALSE;
}

std::int16_t GetAsyncKeyState(int virtualKey) {
  return static_cast<std::int16_t>(::GetAsyncKeyState(virtualKey));
}

UINT GetDoubleClickTime() {
  return ::GetDoubleClickTime();
}

bool SetForegroundWindow(HWND wnd) {
  return ::SetForegroundWindow(wnd) != FALSE;
}

bool IsWindowVisible(HWND wnd) {
  return ::IsWindowVisible(wnd) != FALSE;
}

bool IsIconic(HWND wnd) {
  return ::IsIconic(wnd) != FALSE;
}

bool ShowWindow(HWND wnd, int command) {
  return ::ShowWindow(wnd, command) != FALSE;
}

UINT RegisterWindowMessageA(const char* name) {
  return ::RegisterWindowMessageA(name);
}

LONG_PTR GetWindowLongPtrA(HWND wnd, int index) {
  return ::GetWindowLongPtrA(wnd, index);
}

LONG_PTR SetWindowLongPtrA(HWND wnd, int index, LONG_PTR value) {
  return ::SetWindowLongPtrA(wnd, index, value);
}

LRESULT CallWindowProcA(WNDPROC proc, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcA(proc, wnd, msg, wParam, lParam);
}

DWORD GetComCtlVersion() {
  // From the system folder only (the manifest's version of it where the manifest asks for one):
  // the common controls are no KnownDLL, and a copy beside the program would otherwise win.
  const LoadedLibrary comctl(hid::LoadSystemLibrary("comctl32.dll", hid::Win32SystemLoader()));
  if (!comctl) return 0;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(comctl.Get(), "DllGetVersion")));
  if (getVersion == nullptr) return 0;
  DLLVERSIONINFO info{};
  info.cbSize = sizeof(info);
  if (FAILED(getVersion(&info))) return 0;
  return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
}

}  // namespace host
