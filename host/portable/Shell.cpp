// The portable window manager and shell. Showing, hiding, minimizing and restoring a window send
// it the messages the system sends (WM_SHOWWINDOW, WM_WINDOWPOSCHANGED, WM_SIZE), in its order.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "host/Messages.h"
#include "host/Shell.h"
#include "host/portable/ShellModel.h"
#include "host/portable/Windows.h"

namespace host {
namespace {

struct Model {
  std::mutex mutex;
  std::vector<portable::ShellCall> calls;
  std::vector<NOTIFYICONDATAA> icons;
  bool failShell = false;
  POINT cursor{0, 0};
  bool failCursor = false;
  std::set<int> keysDown;
  UINT doubleClickTime = 500;
  DWORD comctlVersion = 0x60000;
  std::vector<HWND> foreground;
  std::map<std::string, UINT> registered;
  UINT nextRegistered = 0xC000;
};

Model& TheModel() {
  static Model model;
  return model;
}

// Runs `f` on the model under its lock; the model is read and changed from tests' threads too.
template <class F>
auto Locked(F f) {
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  return f(model);
}

std::vector<NOTIFYICONDATAA>::iterator FindIcon(Model& model, const NOTIFYICONDATAA& data) {
  return std::find_if(model.icons.begin(), model.icons.end(), [&](const NOTIFYICONDATAA& icon) {
    return icon.hWnd == data.hWnd && icon.uID == data.uID;
  });
}

// What the shell does with a call, the way the real one answers.
bool Apply(Model& model, DWORD message, const NOTIFYICONDATAA& data) {
  if (model.failShell || data.cbSize == 0 || data.cbSize > sizeof(NOTIFYICONDATAA)) return false;
  auto icon = FindIcon(model, data);
  switch (message) {
    case NIM_ADD:
      if (icon != model.icons.end() || !portable::WindowExists(data.hWnd)) return false;
      model.icons.push_back(data);
      return true;
    case NIM_MODIFY:
      if (icon == model.icons.end()) return false;
      *icon = data;
      return true;
    case NIM_DELETE:
      if (icon == model.icons.end()) return false;
      model.icons.erase(icon);
      return true;
    case NIM_SETVERSION:
      return icon != model.icons.end();
    default:
      return false;
  }
}

}  // namespace

bool Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
  if (data == nullptr) return false;
  // The shell reads cbSize bytes, and no more.
  NOTIFYICONDATAA seen{};
  std::memcpy(&seen, data, std::min<std::size_t>(data->cbSize, sizeof(seen)));
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  const bool result = Apply(model, message, seen);
  model.calls.push_back({message, seen, result});
  return result;
}

bool GetCursorPos(POINT* point) {
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  if (model.failCursor || point == nullptr) return false;
  *point = model.cursor;
  return true;
}

std::int16_t GetAsyncKeyState(int virtualKey) {
  return Locked([&](Model& model) {
    return model.keysDown.count(virtualKey) != 0 ? static_cast<std::int16_t>(0x8000) : 0;
  });
}

UINT GetDoubleClickTime() {
  return Locked([&](Model& model) { return model.doubleClickTime; });
}

bool SetForegroundWindow(HWND wnd) {
  if (!portable::WindowExists(wnd)) return false;
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  model.foreground.push_back(wnd);
  return true;
}

bool IsWindowVisible(HWND wnd) {
  portable::WindowState state;
  return portable::ReadWindowState(wnd, state) && state.visible;
}

bool IsIconic(HWND wnd) {
  portable::WindowState state;
  return portable::ReadWindowState(wnd, state) && state.iconic;
}

bool ShowWindow(HWND wnd, int command) {
  portable::WindowState before;
  if (!portable::ReadWindowState(wnd, before)) return false;
  portable::WindowState after = before;
  switch (command) {
    case SW_HIDE:
      after.visible = false;
      break;
    case SW_MINIMIZE:
      after.visible = true;
      after.iconic = true;
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      after.visible = true;
      after.iconic = false;
      break;
    default:  // SW_SHOW and the rest: shown as it is
      after.visible = true;
      break;
  }
  portable::WriteWindowState(wnd, after);
  if (after.visible != before.visible) SendMessageTo(wnd, WM_SHOWWINDOW, after.visible, 0);
  if (after.visible != before.visible || after.iconic != before.iconic) {
    SendMessageTo(wnd, WM_WINDOWPOSCHANGED, 0, 0);
  }
  if (after.iconic != before.iconic) {
    SendMessageTo(wnd, WM_SIZE, after.iconic ? SIZE_MINIMIZED : SIZE_RESTORED, 0);
  }
  return before.visible;
}

UINT RegisterWindowMessageA(const char* name) {
  if (name == nullptr || *name == '\0') return 0;
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  // Names are compared without regard to case, as the system does.
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto [it, added] = model.registered.emplace(key, model.nextRegistered);
  if (added) ++model.nextRegistered;
  return it->second;
}

LONG_PTR GetWindowLongPtrA(HWND wnd, int index) {
  if (index != GWLP_WNDPROC) return 0;
  return reinterpret_cast<LONG_PTR>(portable::WindowProcOf(wnd));
}

LONG_PTR SetWindowLongPtrA(HWND wnd, int index, LONG_PTR value) {
  if (index != GWLP_WNDPROC || value == 0) return 0;
  return reinterpret_cast<LONG_PTR>(
      portable::ReplaceWindowProc(wnd, reinterpret_cast<WNDPROC>(value)));
}

LRESULT CallWindowProcA(WNDPROC proc, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc != nullptr ? proc(wnd, msg, wParam, lParam) : 0;
}

DWORD GetComCtlVersion() {
  return Locked([&](Model& model) { return model.comctlVersion; });
}

namespace portable {

std::vector<ShellCall> TakeShellCalls() {
  return Locked([&](Model& model) { return std::exchange(model.calls, {}); });
}

std::vector<NOTIFYICONDATAA> TrayIcons() {
  return Locked([&](Model& model) { return model.icons; });
}

void FailShellCalls(bool fail) {
  Locked([&](Model& model) { model.failShell = fail; });
}

bool NotifyTrayIcon(std::size_t index, UINT event) {
  NOTIFYICONDATAA icon{};
  {
    Model& model = TheModel();
    std::lock_guard<std::mutex> lock(model.mutex);
    if (index >= model.icons.size()) return false;
    icon = model.icons[index];
  }
  if ((icon.uFlags & NIF_MESSAGE) == 0) return true;  // the icon asked for no notifications
  return PostMessageTo(icon.hWnd, icon.uCallbackMessage, icon.uID, static_cast<LPARAM>(event));
}

void RecreateTaskbar() {
  {
    Model& model = TheModel();
    std::lock_guard<std::mutex> lock(model.mutex);
    model.icons.clear();
  }
  BroadcastToProcessWindows(RegisterWindowMessageA("TaskbarCreated"), 0, 0);
}

void SetCursor(int x, int y) {
  Locked([&](Model& model) { model.cursor = {x, y}; });
}

void FailCursorReads(bool fail) {
  Locked([&](Model& model) { model.failCursor = fail; });
}

void SetKeyDown(int virtualKey, bool down) {
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  if (down) {
    model.keysDown.insert(virtualKey);
  } else {
    model.keysDown.erase(virtualKey);
  }
}

void SetComCtlVersion(DWORD version) {
  Locked([&](Model& model) { model.comctlVersion = version; });
}

std::vector<HWND> TakeForegroundRequests() {
  return Locked([&](Model& model) { return std::exchange(model.foreground, {}); });
}

void ResetShell() {
  Model& model = TheModel();
  std::lock_guard<std::mutex> lock(model.mutex);
  model.calls.clear();
  model.icons.clear();
  model.failShell = false;
  model.cursor = {0, 0};
  model.failCursor = false;
  model.keysDown.clear();
  model.doubleClickTime = 500;
  model.comctlVersion = 0x60000;
  model.foreground.clear();
}

}  // namespace portable
}  // namespace host
