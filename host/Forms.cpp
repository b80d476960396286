#include "host/Forms.h"

#include <algorithm>

#include "host/Application.h"
#include "host/Messages.h"

namespace host {

TForm::TForm(TComponent* owner) : TComponent(owner) {}

TForm::~TForm() {
  // The controls outlive the form's own part (their owner frees them later): they leave it now,
  // and their windows go before the form's.
  for (TControl* control : controls_) {
    control->DestroyPeer();
    control->parent_ = nullptr;
  }
  controls_.clear();
  tabList_.clear();
  peer_.reset();
}

FormPeer& TForm::Peer() {
  if (!peer_) {
    peer_ = CreateFormPeer(*this);
    const HWND wnd = peer_->Handle();
    for (TControl* control : controls_) control->CreatePeer(wnd);
    ApplyTabOrder();
  }
  return *peer_;
}

HWND TForm::Handle() const {
  return peer_ ? peer_->Handle() : nullptr;
}

void TForm::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  if (!value) active_ = false;
  if (value && Application != nullptr && Application->MainForm() == this) {
    Application->MainFormShown();
  }
  Peer().SetVisible(value);
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  Peer().SetCaption(caption);
}

void TForm::SetColor(TColor color) {
  color_ = color;
  if (peer_) peer_->UpdateStyle();
}

void TForm::SetFont(const TFont& font) {
  font_ = font;
  for (TControl* control : controls_) {
    if (control->ParentFont()) control->StyleChanged();
  }
}

void TForm::SetBiDiMode(TBiDiMode mode) {
  biDiMode_ = mode;
  if (peer_) peer_->UpdateStyle();
  for (TControl* control : controls_) {
    if (control->ParentBiDiMode()) control->StyleChanged();
  }
}

void TForm::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Peer().SetBounds(left, top, width, height);
}

void TForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  if (modal_) {
    // The modal loop hides the form once it sees the result.
    modalResult_ = mrCancel;
    return;
  }
  Hide();
  if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

void TForm::SetFocus() {
  if (visible_) Peer().Activate();
}

TModalResult TForm::ShowModal() {
  if (visible_ || modal_) return mrNone;
  modal_ = true;
  modalResult_ = mrNone;
  Peer().BeginModal();
  // Whatever ends the loop, a handler's exception included, the program's windows take input
  // again and the form is gone from the screen.
  struct Restore {
    TForm& form;
    ~Restore() {
      form.Hide();
      if (form.peer_) form.peer_->EndModal();
      form.modal_ = false;
    }
  } restore{*this};
  Show();
  FocusFirstControl();
  while (modalResult_ == mrNone && visible_) {
    if (Application != nullptr) {
      if (Application->Terminated()) break;
      Application->HandleMessage();
    } else {
      bool quit = false;
      if (!DispatchOne(&quit)) WaitForMessage();
      if (quit) break;
    }
  }
  if (modalResult_ == mrNone) modalResult_ = mrCancel;
  return modalResult_;
}

void TForm::DoActivate() {
  active_ = true;
  if (OnActivate) OnActivate(this);
}

void TForm::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TForm::AfterConstruction() {
  // As the framework does: the form exists and the program goes on with it, whatever part of
  // its OnCreate was skipped; the person is told.
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    if (Application == nullptr) throw;
    Application->HandleException(this);
  }
}

void TForm::InsertControl(TControl* control) {
  controls_.push_back(control);
  if (control->IsWindowed()) tabList_.push_back(control);
  if (peer_) {
    control->CreatePeer(peer_->Handle());
    ApplyTabOrder();
  }
}

void TForm::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
}

int TForm::TabIndexOf(const TControl* control) const {
  auto it = std::find(tabList_.begin(), tabList_.end(), control);
  return it == tabList_.end() ? -1 : static_cast<int>(it - tabList_.begin());
}

void TForm::MoveInTabOrder(TControl* control, int position) {
  auto it = std::find(tabList_.begin(), tabList_.end(), control);
  if (it == tabList_.end() || position < 0) return;
  tabList_.erase(it);
  position = std::min(position, static_cast<int>(tabList_.size()));
  tabList_.insert(tabList_.begin() + position, control);
  ApplyTabOrder();
}

void TForm::ApplyTabOrder() {
  if (!peer_) return;
  HWND previous = nullptr;
  for (TControl* control : tabList_) {
    if (control->Peer() != nullptr) previous = control->Peer()->PlaceAfter(previous);
  }
  for (TControl* control : controls_) {
    if (!control->IsWindowed() && control->Peer() != nullptr) {
      previous = control->Peer()->PlaceAfter(previous);
    }
  }
}

void TForm::FocusFirstControl() {
  for (TControl* control : tabList_) {
    if (control->TabStop()) {
      control->SetFocus();
      return;
    }
  }
}

}  // namespace host
