// The real Win32 backend of host/Messages.h: hidden top-level windows of one registered class,
// posted and sent messages, SetTimer timers, and the thread's message queue.
#include "host/Messages.h"

#include <windows.h>

#include <memory>

#include "host/Icons.h"
#include "host/win32/FormWindows.h"
#include "host/win32/NativeText.h"
#include "host/win32/WindowClass.h"

namespace host {
namespace {

constexpr const wchar_t* kHiddenClassName = L"TillHiddenWindow";
constexpr const wchar_t* kApplicationClassName = L"TillApplication";

// A hidden window's GWLP_USERDATA: the heap cell holding its WndMethod, or null while the window
// is being created or torn down (then DefWindowProcW answers).
WndMethod* CellOf(HWND wnd) {
  return reinterpret_cast<WndMethod*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
}

bool IsApplicationWindow(HWND wnd);

LRESULT CALLBACK HiddenWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // A close request from outside (a script's taskkill without /f posts one to every top-level
  // window of the process, hidden ones included) must never destroy one of these windows: the
  // program would run on with its timers, its device notifications or its tray callbacks gone.
  // Only the application window's close means something, the main form's close, which that form
  // may refuse.
  if (msg == WM_CLOSE && !IsApplicationWindow(wnd)) return 0;
  if (const WndMethod* cell = CellOf(wnd); cell != nullptr && cell->IsSet()) {
    // A copy: the method may deallocate its own window (and so free the cell) while it runs.
    const WndMethod method = *cell;
    return CallWindowMethod(method, wnd, msg, wParam, lParam);
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

// A class whose windows' messages go to their methods; registered on first use and unregistered
// when the program ends.
WindowClass MethodWindowClass(const wchar_t* name, bool withProgramIcon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HiddenWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  // The application window's taskbar button shows the program's own icon.
  if (withProgramIcon) wc.hIcon = LoadIconW(wc.hInstance, win32::Wide(kProgramIconName).c_str());
  wc.lpszClassName = name;
  return WindowClass(wc);
}

const WindowClass& HiddenClass() {
  static const WindowClass windowClass = MethodWindowClass(kHiddenClassName, false);
  return windowClass;
}

const WindowClass& ApplicationClass() {
  static const WindowClass windowClass = MethodWindowClass(kApplicationClassName, true);
  return windowClass;
}

bool IsHiddenWindow(HWND wnd) {
  if (wnd == nullptr || !IsWindow(wnd)) return false;
  const auto atom = static_cast<ATOM>(GetClassLongPtrW(wnd, GCW_ATOM));
  return atom == HiddenClass().Atom() || atom == ApplicationClass().Atom();
}

bool IsApplicationWindow(HWND wnd) {
  return static_cast<ATOM>(GetClassLongPtrW(wnd, GCW_ATOM)) == ApplicationClass().Atom();
}

// The window's messages go to `method` from here on; the window owns the cell, and
// DeallocateHWnd takes it back and frees it.
HWND Attach(HWND wnd, WndMethod method) {
  if (wnd == nullptr) return nullptr;
  auto cell = std::make_unique<WndMethod>(method);
  SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cell.release()));
  return wnd;  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks): held through GWLP_USERDATA
}

struct Broadcast {
  DWORD processId;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

BOOL CALLBACK PostToOwnWindow(HWND wnd, LPARAM param) {
  const auto* broadcast = reinterpret_cast<const Broadcast*>(param);
  DWORD processId = 0;
  GetWindowThreadProcessId(wnd, &processId);
  if (processId == broadcast->processId) {
    PostMessageW(wnd, broadcast->msg, broadcast->wParam, broadcast->lParam);
  }
  return TRUE;
}

// Dispatches one message taken from the queue; false when it was the quit request.
// A peek also hands the thread's hooks the calls the system has queued for them.
bool Retrieve(MSG& msg) {
  EnteringMessageRetrieval();
  const bool got = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  LeavingMessageRetrieval();
  return got;
}

bool Deliver(MSG& msg) {
  if (msg.message == WM_QUIT) return false;
  if (win32::TranslateFormNavigation(msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

}  // namespace

HWND AllocateHWnd(WndMethod method) {
  const WindowClass& windowClass = HiddenClass();
  if (!windowClass.Ok()) return nullptr;
  // Top-level (not HWND_MESSAGE) so that broadcasts such as WM_DEVICECHANGE reach it; never shown.
  return Attach(CreateWindowExW(WS_EX_TOOLWINDOW, kHiddenClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, windowClass.Instance(), nullptr),
                method);
}

HWND AllocateApplicationWindow(WndMethod method) {
  const WindowClass& windowClass = ApplicationClass();
  if (!windowClass.Ok()) return nullptr;
  // A caption and a system menu make it a window the taskbar shows a button for (a tool window
  // would get none); of no size, in the middle of the screen, where the system animates its
  // minimizing and restoring from.
  return Attach(
      CreateWindowExW(0, kApplicationClassName, L"",
                      WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                      nullptr, nullptr, windowClass.Instance(), nullptr),
      method);
}

void SetWindowCaption(HWND wnd, const std::string& caption) {
  if (wnd != nullptr) SetWindowTextW(wnd, win32::Wide(caption).c_str());
}

std::string WindowCaption(HWND wnd) {
  return wnd != nullptr ? win32::WindowText(wnd) : std::string();
}

void DeallocateHWnd(HWND wnd) {
  if (!IsHiddenWindow(wnd)) return;
  // Detach the method first: messages sent while the window is destroyed go to DefWindowProcW.
  std::unique_ptr<WndMethod> cell(
      reinterpret_cast<WndMethod*>(SetWindowLongPtrW(wnd, GWLP_USERDATA, 0)));
  DestroyWindow(wnd);
}

void AcceptFromLowerLevels(HWND wnd, UINT msg) {
  if (wnd != nullptr && msg != 0) ChangeWindowMessageFilterEx(wnd, msg, MSGFLT_ALLOW, nullptr);
}

bool PostMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(wnd, msg, wParam, lParam) != FALSE;
}

LRESULT SendMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(wnd, msg, wParam, lParam);
}

LRESULT DefaultWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

void BroadcastToProcessWindows(UINT msg, WPARAM wParam, LPARAM lParam) {
  Broadcast broadcast{GetCurrentProcessId(), msg, wParam, lParam};
  EnumWindows(&PostToOwnWindow, reinterpret_cast<LPARAM>(&broadcast));
}

bool StartWindowTimer(HWND wnd, UINT_PTR id, UINT milliseconds) {
  return SetTimer(wnd, id, milliseconds, nullptr) != 0;
}

bool StopWindowTimer(HWND wnd, UINT_PTR id) {
  return KillTimer(wnd, id) != FALSE;
}

bool DispatchPending() {
  MSG msg;
  while (Retrieve(msg)) {
    if (!Deliver(msg)) return false;
  }
  return true;
}

bool DispatchOne(bool* quit) {
  MSG msg;
  if (!Retrieve(msg)) return false;
  if (!Deliver(msg) && quit != nullptr) *quit = true;
  return true;
}

void WaitForMessage() {
  EnteringMessageRetrieval();
  // MWMO_INPUTAVAILABLE: also wakes for input already seen (but left) by an earlier peek.
  MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  LeavingMessageRetrieval();
}

void PostQuit() {
  PostQuitMessage(0);
}

std::int64_t TickCountMs() {
  return static_cast<std::int64_t>(GetTickCount64());
}

void SleepWithoutPumping(UINT milliseconds) {
  Sleep(milliseconds);
}

}  // namespace host
