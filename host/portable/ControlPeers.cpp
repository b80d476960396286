// Controls without a screen: their state is the model's. A windowed control has a hidden window
// so that it can hold the keyboard focus and receive the keys the hook chain lets through.
#include "host/Controls.h"
#include "host/Messages.h"
#include "host/portable/KeyInput.h"

namespace host {
namespace {

TShiftState NoModifiers() {
  // The portable keyboard keeps no key state; the handlers here do not read it.
  return 0;
}

class PortableControlPeer final : public ControlPeer {
 public:
  explicit PortableControlPeer(TControl& control) : control_(control) {
    if (control.IsWindowed())
      window_ = HiddenWindow(WndMethod::Of<&PortableControlPeer::WndProc>(this));
  }
  ~PortableControlPeer() override {
    if (Focused()) portable::SetFocusedWindow(nullptr);
  }
  PortableControlPeer(const PortableControlPeer&) = delete;
  PortableControlPeer& operator=(const PortableControlPeer&) = delete;

  HWND Handle() const override { return window_.Handle(); }
  void SetBounds(int, int, int, int) override {}
  void SetText(const std::string&) override {}
  void UpdateStyle() override {}
  void SetChecked(bool) override {}
  void SetItems(const std::vector<std::string>&) override {}
  void SetItemIndex(int) override {}
  HWND PlaceAfter(HWND previous) override {
    return window_.Handle() != nullptr ? window_.Handle() : previous;
  }
  void SetFocus() override {
    if (window_.Handle() != nullptr) portable::SetFocusedWindow(window_.Handle());
  }
  bool Focused() const override {
    return window_.Handle() != nullptr && portable::FocusedWindow() == window_.Handle();
  }

 private:
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WORD key = static_cast<WORD>(wParam);
    switch (msg) {
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        control_.DoKeyDown(key, NoModifiers());
        return 0;
      case WM_KEYUP:
      case WM_SYSKEYUP:
        control_.DoKeyUp(key, NoModifiers());
        return 0;
      default:
        return DefaultWindowProc(wnd, msg, wParam, lParam);
    }
  }

  TControl& control_;
  HiddenWindow window_;  // last: its method reads the control
};

}  // namespace

std::unique_ptr<ControlPeer> CreateControlPeer(TControl& control, HWND /*parent*/) {
  return std::make_unique<PortableControlPeer>(control);
}

}  // namespace host
