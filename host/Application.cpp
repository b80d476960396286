#include "host/Application.h"

#include <algorithm>

#include "host/Messages.h"
#include "host/Process.h"
#include "host/Thread.h"

namespace host {

TApplication* Application = nullptr;

namespace {
// Posted to the application window when a worker thread waits in Synchronize.
constexpr UINT kSynchronizeMessage = WM_APP + 0x51;

void WakeApplication() {
  if (Application != nullptr && Application->Handle() != nullptr) {
    PostMessageTo(Application->Handle(), kSynchronizeMessage, 0, 0);
  }
}
}  // namespace

TApplication::TApplication() : TComponent(nullptr) {
  Application = this;
  window_ = HiddenWindow(WndMethod::Of<&TApplication::WndProc>(this));
  SetSynchronizeWakeup(Event<void()>::Of<&WakeApplication>());
}

TApplication::~TApplication() {
  // Forms and modules go first, while the application and its window still exist for them.
  DestroyComponents();
  SetSynchronizeWakeup(nullptr);
  if (Application == this) Application = nullptr;
}

void TApplication::Run() {
  if (mainForm_ != nullptr && ShowMainForm) {
    mainForm_->Show();  // showing activates it
  }
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  // Wakes a loop that is blocked in its wait so that it sees the flag.
  PostQuit();
}

void TApplication::ProcessMessages() {
  CheckSynchronize();
  DispatchPending();
}

void TApplication::HandleMessage() {
  bool quit = false;
  if (DispatchOne(&quit)) return;
  if (CheckSynchronize()) return;
  WaitForMessage();
}

void TApplication::Minimize() {
  if (minimized_) return;
  minimized_ = true;
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (!minimized_) return;
  minimized_ = false;
  if (OnRestore) OnRestore(this);
}

std::string TApplication::ExeName() const {
  return ModuleFileName();
}

void TApplication::HookMainWindow(TWindowHook hook) {
  for (const TWindowHook& h : hooks_) {
    if (h.Identical(hook)) return;
  }
  hooks_.push_back(hook);
}

void TApplication::UnhookMainWindow(TWindowHook hook) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(),
                              [&](const TWindowHook& h) { return h.Identical(hook); }),
               hooks_.end());
}

LRESULT TApplication::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kSynchronizeMessage) {
    CheckSynchronize();
    return 0;
  }
  // A copy: a hook may unhook itself.
  std::vector<TWindowHook> hooks = hooks_;
  for (const TWindowHook& hook : hooks) {
    LRESULT result = 0;
    if (hook(msg, wParam, lParam, result)) return result;
  }
  return DefaultWindowProc(wnd, msg, wParam, lParam);
}

}  // namespace host
