// Forms without a screen: a hidden window turns "shown" and "focused" into an activation that
// arrives through the loop, the order a real window manager gives.
#include "host/Forms.h"
#include "host/Messages.h"
#include "host/Shell.h"

namespace host {
namespace {

class PortableFormPeer final : public FormPeer {
 public:
  explicit PortableFormPeer(TForm& form)
      : form_(form), window_(WndMethod::Of<&PortableFormPeer::WndProc>(this)) {}

  HWND Handle() const override { return window_.Handle(); }
  void SetVisible(bool visible) override {
    host::ShowWindow(window_.Handle(), visible ? SW_SHOW : SW_HIDE);
    if (visible) PostMessageTo(window_.Handle(), WM_ACTIVATE, 1, 0);
  }
  void SetBounds(int, int, int, int) override {}
  void SetCaption(const std::string&) override {}
  void UpdateStyle() override {}
  // Nothing takes input here but what the tests deliver.
  void BeginModal() override {}
  void EndModal() override {}
  void Activate() override { PostMessageTo(window_.Handle(), WM_ACTIVATE, 1, 0); }

 private:
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_ACTIVATE:
        if (wParam != 0 && form_.Visible()) {
          form_.DoActivate();
        } else if (wParam == 0) {
          form_.DoDeactivate();
        }
        return 0;
      case WM_CLOSE:
        form_.Close();
        return 0;
      default:
        return DefaultWindowProc(wnd, msg, wParam, lParam);
    }
  }

  TForm& form_;
  HiddenWindow window_;
};

}  // namespace

std::unique_ptr<FormPeer> CreateFormPeer(TForm& form) {
  return std::make_unique<PortableFormPeer>(form);
}

}  // namespace host
