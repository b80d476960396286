// Forms as real top-level windows: shown, activated, double-clicked and closed by the system, the
// parents of their controls' windows, and modal when asked to be.
#include <windows.h>

#include <vector>

#include "host/Application.h"
#include "host/Forms.h"
#include "host/Messages.h"
#include "host/StdCtrls.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "host/win32/FormWindows.h"
#include "host/win32/NativeText.h"
#include "host/win32/WindowClass.h"

namespace host {
namespace win32 {
namespace {

constexpr const wchar_t* kFormClassName = L"TillForm";

LRESULT CALLBACK FormWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Registered on first use, unregistered when the program ends.
ATOM FormClass() {
  static const WindowClass formClass = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &FormWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kFormClassName;
    return WindowClass(wc);
  }();
  return formClass.Atom();
}

DWORD FrameStyle(TBorderStyle border) {
  switch (border) {
    case TBorderStyle::bsNone:
      return WS_POPUP;
    case TBorderStyle::bsSingle:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    case TBorderStyle::bsDialog:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    case TBorderStyle::bsToolWindow:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    case TBorderStyle::bsSizeToolWin:
      return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    case TBorderStyle::bsSizeable:
      break;
  }
  return WS_OVERLAPPEDWINDOW;
}

DWORD FrameExStyle(const TForm& form) {
  // The controls parent: the dialog manager walks into them for Tab and the arrow keys.
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (form.BorderStyle() == TBorderStyle::bsDialog) exStyle |= WS_EX_DLGMODALFRAME;
  if (form.BorderStyle() == TBorderStyle::bsToolWindow ||
      form.BorderStyle() == TBorderStyle::bsSizeToolWin) {
    exStyle |= WS_EX_TOOLWINDOW;
  }
  if (form.UseRightToLeftReading()) exStyle |= WS_EX_RTLREADING | WS_EX_RIGHT | WS_EX_LEFTSCROLLBAR;
  return exStyle;
}

COLORREF NativeColor(TColor color) {
  return IsSystemColor(color) ? GetSysColor(static_cast<int>(color & 0xFF))
                              : static_cast<COLORREF>(color);
}

// Forms are owned by the application window: they get no taskbar buttons of their own, and they
// hide while it is minimized.
HWND ApplicationWindow() {
  return Application != nullptr ? Application->Handle() : nullptr;
}

struct ThreadWindows {
  HWND except;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectEnabledWindow(HWND wnd, LPARAM param) {
  auto* found = reinterpret_cast<ThreadWindows*>(param);
  if (wnd != found->except && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
    found->windows.push_back(wnd);
  }
  return TRUE;
}

class Win32FormPeer final : public FormPeer {
 public:
  explicit Win32FormPeer(TForm& form) : form_(form) {
    FormClass();
    wnd_ = CreateWindowExW(FrameExStyle(form), kFormClassName, Wide(form.Caption()).c_str(),
                           FrameStyle(form.BorderStyle()), form.Left(), form.Top(), form.Width(),
                           form.Height(), ApplicationWindow(), nullptr, GetModuleHandleW(nullptr),
                           nullptr);
    if (wnd_ != nullptr) {
      SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    TakeColor();
  }
  ~Win32FormPeer() override {
    EndModal();
    if (wnd_ != nullptr) {
      SetWindowLongPtrW(wnd_, GWLP_USERDATA, 0);
      DestroyWindow(wnd_);
    }
  }
  Win32FormPeer(const Win32FormPeer&) = delete;
  Win32FormPeer& operator=(const Win32FormPeer&) = delete;

  HWND Handle() const override { return wnd_; }
  void SetVisible(bool visible) override {
    if (wnd_ == nullptr) return;
    if (visible) {
      ShowWindow(wnd_, SW_SHOW);
      SetForegroundWindow(wnd_);
    } else {
      ShowWindow(wnd_, SW_HIDE);
    }
  }
  void SetBounds(int left, int top, int width, int height) override {
    if (wnd_ != nullptr) {
      SetWindowPos(wnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  void SetCaption(const std::string& caption) override {
    if (wnd_ != nullptr) SetWindowTextW(wnd_, Wide(caption).c_str());
  }
  void UpdateStyle() override {
    if (wnd_ == nullptr) return;
    SetWindowLongPtrW(wnd_, GWL_EXSTYLE, static_cast<LONG_PTR>(FrameExStyle(form_)));
    SetWindowPos(wnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    TakeColor();
    InvalidateRect(wnd_, nullptr, TRUE);
  }
  void Activate() override {
    if (wnd_ != nullptr) {
      SetForegroundWindow(wnd_);
      SetActiveWindow(wnd_);
    }
  }
  void BeginModal() override {
    ThreadWindows found{wnd_, {}};
    EnumThreadWindows(GetCurrentThreadId(), &CollectEnabledWindow,
                      reinterpret_cast<LPARAM>(&found));
    for (HWND wnd : found.windows) EnableWindow(wnd, FALSE);
    disabled_ = std::move(found.windows);
  }
  void EndModal() override {
    for (HWND wnd : disabled_) {
      if (IsWindow(wnd)) EnableWindow(wnd, TRUE);
    }
    disabled_.clear();
  }

  LRESULT Proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
          RestoreFocus(HIWORD(wParam) != 0);
          if (form_.Visible()) form_.DoActivate();
        } else {
          RememberFocus();
          form_.DoDeactivate();
        }
        return 0;
      case WM_LBUTTONDBLCLK:
        form_.DblClick();
        return 0;
      case WM_CLOSE:
        form_.Close();
        return 0;
      case WM_COMMAND:
        // Only notifications of the controls; the dialog manager's IDOK/IDCANCEL for Enter and
        // Escape come without a window and mean nothing here.
        if (NativeControl* control = NativeControlOf(reinterpret_cast<HWND>(lParam))) {
          control->Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        }
        return 0;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
        return ControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(wnd_, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, brush_.Get());
        return 1;
      }
      default:
        return DefWindowProcW(wnd_, msg, wParam, lParam);
    }
  }

 private:
  void TakeColor() { brush_ = BrushHandle(CreateSolidBrush(NativeColor(form_.Color()))); }

  // The controls stand on the form's colour; a read-only edit keeps the white of a text field.
  LRESULT ControlColor(HDC dc, HWND child) {
    NativeControl* control = NativeControlOf(child);
    if (control != nullptr && control->Control().Kind() == TControlKind::Edit) {
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    SetBkColor(dc, NativeColor(form_.Color()));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    return reinterpret_cast<LRESULT>(brush_.Get());
  }

  void RememberFocus() {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(wnd_, focus)) focus_ = focus;
  }

  // A form activated by the system gets back the control that had the focus, or the first one
  // in the tab order; a minimized one keeps none.
  void RestoreFocus(bool minimized) {
    if (minimized) return;
    HWND target = focus_ != nullptr && IsWindow(focus_) && IsChild(wnd_, focus_)
                      ? focus_
                      : GetNextDlgTabItem(wnd_, nullptr, FALSE);
    SetFocus(target != nullptr ? target : wnd_);
  }

  TForm& form_;
  HWND wnd_ = nullptr;
  HWND focus_ = nullptr;
  BrushHandle brush_;
  std::vector<HWND> disabled_;
};

LRESULT CALLBACK FormWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* peer = reinterpret_cast<Win32FormPeer*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (peer == nullptr) return DefWindowProcW(wnd, msg, wParam, lParam);
  const MessageHandling handling;
  try {
    return peer->Proc(msg, wParam, lParam);
  } catch (...) {
    // Nothing may unwind through the system's dispatcher; a handler's failure ends here.
    if (Tracing()) TraceDroppedException("the handler of form message $" + IntToHex(msg, 4));
    return 0;
  }
}

bool IsFormWindow(HWND wnd) {
  return wnd != nullptr && static_cast<ATOM>(GetClassLongPtrW(wnd, GCW_ATOM)) == FormClass();
}

}  // namespace

bool TranslateFormNavigation(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || msg.hwnd == nullptr) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  return IsFormWindow(root) && IsDialogMessageW(root, &msg) != FALSE;
}

}  // namespace win32

std::unique_ptr<FormPeer> CreateFormPeer(TForm& form) {
  return std::make_unique<win32::Win32FormPeer>(form);
}

}  // namespace host
