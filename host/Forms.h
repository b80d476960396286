// The application object, forms, data modules, the list box and the label. Forms are models (state
// plus events); a backend gives a form a native window where a person sees it.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Messages.h"
#include "host/WinDefs.h"

namespace host {

class TForm;

// A form's native side. The portable backend's is a hidden window that turns "shown" into an
// activation; the Win32 backend's is a real window.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual HWND Handle() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void Activate() = 0;  // bring to the foreground; OnActivate follows from the loop
};
std::unique_ptr<FormPeer> CreateFormPeer(TForm& form);

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

using TCloseQueryEvent = Event<void(TObject* Sender, bool& CanClose)>;

class TForm : public TComponent {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState state) { windowState_ = state; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style) { borderStyle_ = style; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  void SetBounds(int left, int top, int width, int height);

  TNotifyEvent OnCreate;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDblClick;
  TCloseQueryEvent OnCloseQuery;

  // Asks OnCloseQuery; when the form may close it is hidden, and closing the main form ends the
  // application's Run.
  void Close();
  // Give the form the focus (it activates; OnActivate follows).
  void SetFocus();
  bool Active() const { return active_; }
  HWND Handle() const;

  // Called by the native side.
  void DoActivate();
  void DoDeactivate() { active_ = false; }
  void DblClick();
  // Runs OnCreate; TApplication::CreateForm calls it once the form is fully constructed.
  virtual void AfterConstruction();

 private:
  FormPeer& Peer();

  bool visible_ = false;
  bool active_ = false;
  TWindowState windowState_ = TWindowState::wsNormal;
  TBorderStyle borderStyle_ = TBorderStyle::bsSizeable;
  std::string caption_;
  int left_ = 0, top_ = 0, width_ = 320, height_ = 240;
  std::unique_ptr<FormPeer> peer_;
};

class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* owner) : TComponent(owner) {}
  TNotifyEvent OnCreate;
  virtual void AfterConstruction() {
    if (OnCreate) OnCreate(this);
  }
};

// A list box's lines, each with one attached object.
class TListBox : public TComponent {
 public:
  explicit TListBox(TComponent* owner) : TComponent(owner) {}

  int Count() const { return static_cast<int>(items_.size()); }
  int Add(const std::string& text, TObject* object = nullptr);
  void Clear();
  const std::string& Strings(int index) const { return items_.at(index).text; }
  TObject* Objects(int index) const { return items_.at(index).object; }
  void SetObjects(int index, TObject* object) { items_.at(index).object = object; }
  int ItemIndex() const { return itemIndex_; }
  // A value outside -1 .. Count-1 is not taken: the index stays what it was.
  void SetItemIndex(int index);

  TNotifyEvent OnClick;
  void Click() {
    if (OnClick) OnClick(this);
  }

 private:
  struct Item {
    std::string text;
    TObject* object;
  };
  std::vector<Item> items_;
  int itemIndex_ = -1;
};

// A label's text. The labels the logic writes to are never seen, so the text is all there is.
class TLabel : public TComponent {
 public:
  explicit TLabel(TComponent* owner) : TComponent(owner) {}

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  std::string caption_;
};

// A hook on the application window's messages: returning true means handled.
using TWindowHook = Event<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

class TApplication : public TComponent {
 public:
  // Becomes the process's Application while it lives.
  TApplication();
  ~TApplication() override;

  void Initialize() {}
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

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
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Dispatches everything that is waiting, timers that are due included, then returns.
  void ProcessMessages();
  // Dispatches one message; when none is waiting, blocks until one is (never spins).
  void HandleMessage();

  void Minimize();
  void Restore();
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  bool ShowMainForm = true;

  std::string ExeName() const;
  HWND Handle() const { return window_.Handle(); }
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
