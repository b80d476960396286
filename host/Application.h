// The application object: the program's forms and data modules, its message loop, and the
// application window that carries the taskbar button.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Forms.h"
#include "host/Messages.h"
#include "host/WinDefs.h"

namespace host {

// A hook on the application window's messages: returning true means handled.
using TWindowHook = Event<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

class TApplication : public TComponent {
 public:
  // Becomes the process's Application while it lives.
  TApplication();
  ~TApplication() override;

  void Initialize() {}
  const std::string& Title() const { return title_; }
  // Also the application window's caption: the taskbar button's text.
  void SetTitle(const std::string& title);

  // Creates a form or data module owned by the application; the first form becomes MainForm.
  template <class T>
  void CreateForm(T*& reference) {
    T* instance = new T(this);
    reference = instance;
    if constexpr (std::is_base_of_v<TForm, T>) {
      if (mainForm_ == nullptr) mainForm_ = instance;
    }
    instance->AfterConstruction();
  }
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form (when ShowMainForm) and dispatches messages until Terminate.
  void Run();
  // The loop ends at its next turn; a popup menu being tracked is closed.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Dispatches everything that is waiting, timers that are due included, then returns.
  void ProcessMessages();
  // Dispatches one message; when none is waiting, blocks until one is (never spins).
  void HandleMessage();

  // Minimizes (restores) the application window, then OnMinimize (OnRestore); a call when the
  // window already is in that state does nothing.
  void Minimize();
  void Restore();
  bool Minimized() const;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  bool ShowMainForm = true;

  std::string ExeName() const;
  // The application window: it carries the taskbar button and owns the forms.
  HWND Handle() const { return window_.Handle(); }
  // The main form became visible: the application window shows too.
  void MainFormShown();
  // Inside a catch block: what the framework does with an exception no handler caught where
  // the program goes on (a form's OnCreate): the person is shown its message, and the support
  // trace records it.
  void HandleException(TObject* Sender) noexcept;
  void HookMainWindow(TWindowHook hook);
  void UnhookMainWindow(TWindowHook hook);

 private:
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool minimized_ = false;
  std::vector<TWindowHook> hooks_;
  HiddenWindow window_;  // last: its method reads the hooks
};

// The process's application object (null when none exists).
extern TApplication* Application;

}  // namespace host
