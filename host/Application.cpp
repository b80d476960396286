#include "host/Application.h"

#include <algorithm>

#include "host/Dialogs.h"
#include "host/Exception.h"
#include "host/Menus.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/Shell.h"
#include "host/Thread.h"
#include "host/Trace.h"

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
  window_ = HiddenWindow::ApplicationWindow(WndMethod::Of<&TApplication::WndProc>(this));
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
  // A popup menu's own loop does not end for the program's end: left open it would hold the
  // program until someone closed it (a modal form's loop watches the flag itself).
  EndPopupMenu();
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

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowCaption(Handle(), title);
}

bool TApplication::Minimized() const {
  // The window's own state rather than a flag of ours: another program may restore the window (a
  // second copy surfaces the first that way), and a flag left set would then make every later
  // minimize, the taskbar's included, return at once.
  return Handle() != nullptr ? host::IsIconic(Handle()) : minimized_;
}

void TApplication::Minimize() {
  if (Minimized()) return;
  minimized_ = true;
  // The window manager hides the forms the application window owns, and its hooks see WM_SIZE.
  if (Handle() != nullptr) host::ShowWindow(Handle(), SW_MINIMIZE);
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (!Minimized()) return;
  minimized_ = false;
  if (Handle() != nullptr) host::ShowWindow(Handle(), SW_RESTORE);
  if (OnRestore) OnRestore(this);
}

void TApplication::MainFormShown() {
  // The program's taskbar button comes with its main form.
  if (Handle() != nullptr && !host::IsWindowVisible(Handle()))
    host::ShowWindow(Handle(), SW_SHOWNA);
}

std::string TApplication::ExeName() const {
  return ModuleFileName();
}

void TApplication::HandleException(TObject*) noexcept {
  TraceDroppedException("the application (shown to the person)");
  std::string message = "An unexpected error occurred.";
  try {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {  // NOLINT(bugprone-empty-catch): the general text above stands
  }
  try {
    ShowMessageBox(Handle(), message, title_, TMsgDlgType::mtError, false);
  } catch (...) {
    // Nothing more can be told; the trace has it.
  }
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
  switch (msg) {
    case WM_SYSCOMMAND:
      // The taskbar button's commands: what the program does for them, not just the window.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        Minimize();
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_RESTORE) {
        Restore();
        return 0;
      }
      break;
    case WM_CLOSE:
      // Closing the taskbar button closes the main form, which may refuse.
      if (mainForm_ != nullptr) mainForm_->Close();
      return 0;
    default:
      break;
  }
  return DefaultWindowProc(wnd, msg, wParam, lParam);
}

}  // namespace host
