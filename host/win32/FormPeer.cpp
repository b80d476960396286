// Forms as real top-level windows: shown, activated, double-clicked and closed by the system.
#include <windows.h>

#include "host/Forms.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "host/win32/WindowClass.h"

namespace host {
namespace {

constexpr const wchar_t* kFormClassName = L"TillForm";

class Win32FormPeer;

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

std::wstring Wide(const std::string& utf8) {
  std::u16string w = Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

class Win32FormPeer final : public FormPeer {
 public:
  explicit Win32FormPeer(TForm& form) : form_(form) {
    FormClass();
    DWORD style = form.BorderStyle() == TBorderStyle::bsNone ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    wnd_ = CreateWindowExW(0, kFormClassName, Wide(form.Caption()).c_str(), style, form.Left(),
                           form.Top(), form.Width(), form.Height(), nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    if (wnd_ != nullptr) {
      SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
  }
  ~Win32FormPeer() override {
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
  void Activate() override {
    if (wnd_ != nullptr) {
      SetForegroundWindow(wnd_);
      SetActiveWindow(wnd_);
    }
  }

  LRESULT Proc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
          if (form_.Visible()) form_.DoActivate();
        } else {
          form_.DoDeactivate();
        }
        return 0;
      case WM_LBUTTONDBLCLK:
        form_.DblClick();
        return 0;
      case WM_CLOSE:
        form_.Close();
        return 0;
      default:
        return DefWindowProcW(wnd_, msg, wParam, lParam);
    }
  }

 private:
  TForm& form_;
  HWND wnd_ = nullptr;
};

LRESULT CALLBACK FormWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* peer = reinterpret_cast<Win32FormPeer*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (peer == nullptr) return DefWindowProcW(wnd, msg, wParam, lParam);
  try {
    return peer->Proc(msg, wParam, lParam);
  } catch (...) {
    // Nothing may unwind through the system's dispatcher; a handler's failure ends here.
    if (Tracing()) TraceDroppedException("the handler of form message $" + IntToHex(msg, 4));
    return 0;
  }
}

}  // namespace

std::unique_ptr<FormPeer> CreateFormPeer(TForm& form) {
  return std::make_unique<Win32FormPeer>(form);
}

}  // namespace host
