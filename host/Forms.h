// Forms and data modules. Forms are models (state plus events); a backend gives a form a native
// window where a person sees it, and its controls their child windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Component.h"
#include "host/Controls.h"
#include "host/Event.h"
#include "host/Graphics.h"
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
  // Reading order and colour are taken anew from the form.
  virtual void UpdateStyle() = 0;
  virtual void Activate() = 0;  // bring to the foreground; OnActivate follows from the loop
  // While a form is modal the person can use no other window of the program.
  virtual void BeginModal() = 0;
  virtual void EndModal() = 0;
};
std::unique_ptr<FormPeer> CreateFormPeer(TForm& form);

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal = 0, fsMDIChild = 1, fsMDIForm = 2, fsStayOnTop = 3 };
enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// What ended a modal form.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;

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
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle style) { formStyle_ = style; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style) { borderStyle_ = style; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  // The font its controls take while their ParentFont holds.
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  // A form has no parent to take its reading order from.
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode mode);
  bool UseRightToLeftReading() const { return biDiMode_ == TBiDiMode::bdRightToLeft; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  // The whole window, frame included, in screen coordinates.
  void SetBounds(int left, int top, int width, int height);

  TNotifyEvent OnCreate;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDblClick;
  TCloseQueryEvent OnCloseQuery;

  // Asks OnCloseQuery; when the form may close it is hidden (a modal form ends with mrCancel),
  // and closing the main form ends the application's Run.
  void Close();
  // Give the form the focus (it activates; OnActivate follows).
  void SetFocus();
  bool Active() const { return active_; }
  HWND Handle() const;
  // The form's window, made now if it does not exist yet.
  HWND HandleNeeded() { return Peer().Handle(); }

  // Shows the form and keeps dispatching every message (hooks and timers go on) until its
  // ModalResult is set, it is closed or hidden, or the application ends; then hides it. The
  // other windows of the program take no input meanwhile. The first control in the tab order
  // has the focus. Gives the ModalResult (mrCancel when it ended otherwise); a form already
  // visible or modal cannot be made modal and gives mrNone.
  TModalResult ShowModal();
  bool Modal() const { return modal_; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }

  // The windowed controls in tab order.
  const std::vector<TControl*>& TabList() const { return tabList_; }

  // Called by the native side.
  void DoActivate();
  void DoDeactivate() { active_ = false; }
  void DblClick();
  // Runs OnCreate; TApplication::CreateForm calls it once the form is fully constructed.
  virtual void AfterConstruction();

 private:
  friend class TControl;
  FormPeer& Peer();
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  int TabIndexOf(const TControl* control) const;
  void MoveInTabOrder(TControl* control, int position);
  // Puts the windows of the controls in tab order, the way the system walks them.
  void ApplyTabOrder();
  void FocusFirstControl();

  bool visible_ = false;
  bool active_ = false;
  bool modal_ = false;
  TModalResult modalResult_ = mrNone;
  TWindowState windowState_ = TWindowState::wsNormal;
  TFormStyle formStyle_ = TFormStyle::fsNormal;
  TBorderStyle borderStyle_ = TBorderStyle::bsSizeable;
  std::string caption_;
  TColor color_ = clBtnFace;
  TFont font_;
  TBiDiMode biDiMode_ = TBiDiMode::bdLeftToRight;
  int left_ = 0, top_ = 0, width_ = 320, height_ = 240;
  std::vector<TControl*> controls_;
  std::vector<TControl*> tabList_;
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

}  // namespace host
