#include "host/Controls.h"

#include "host/Forms.h"

namespace host {

TControl::TControl(TComponent* owner, TControlKind kind)
    : TComponent(owner), kind_(kind), tabStop_(kind != TControlKind::Label) {}

TControl::~TControl() {
  SetParent(nullptr);
}

void TControl::SetParent(TForm* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) {
    DestroyPeer();
    parent_->RemoveControl(this);
  }
  parent_ = parent;
  if (parent_ != nullptr) parent_->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (peer_) peer_->SetBounds(left, top, width, height);
}

void TControl::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (peer_) peer_->SetText(caption);
}

TFont TControl::Font() const {
  if (font_) return *font_;
  return parent_ != nullptr ? parent_->Font() : TFont{};
}

void TControl::SetFont(const TFont& font) {
  font_ = font;
  StyleChanged();
}

namespace {

// Following the parent drops the control's own value; leaving it keeps what is in effect now.
template <class T>
void FollowParent(std::optional<T>& own, bool follow, const T& current) {
  if (follow) {
    own.reset();
  } else {
    own = current;
  }
}

}  // namespace

void TControl::SetParentFont(bool value) {
  if (value == ParentFont()) return;
  FollowParent(font_, value, Font());
  StyleChanged();
}

TBiDiMode TControl::BiDiMode() const {
  if (biDiMode_) return *biDiMode_;
  return parent_ != nullptr ? parent_->BiDiMode() : TBiDiMode::bdLeftToRight;
}

void TControl::SetBiDiMode(TBiDiMode mode) {
  biDiMode_ = mode;
  StyleChanged();
}

void TControl::SetParentBiDiMode(bool value) {
  if (value == ParentBiDiMode()) return;
  FollowParent(biDiMode_, value, BiDiMode());
  StyleChanged();
}

int TControl::TabOrder() const {
  return parent_ != nullptr ? parent_->TabIndexOf(this) : -1;
}

void TControl::SetTabOrder(int value) {
  if (parent_ != nullptr && IsWindowed()) parent_->MoveInTabOrder(this, value);
}

void TControl::SetFocus() {
  if (peer_ && IsWindowed()) peer_->SetFocus();
}

bool TControl::Focused() const {
  return peer_ && peer_->Focused();
}

HWND TControl::Handle() const {
  return peer_ ? peer_->Handle() : nullptr;
}

void TControl::CreatePeer(HWND parentWindow) {
  if (peer_) return;
  peer_ = CreateControlPeer(*this, parentWindow);
  if (peer_) ApplyTo(*peer_);
}

void TControl::DestroyPeer() {
  peer_.reset();
}

void TControl::StyleChanged() {
  if (peer_) peer_->UpdateStyle();
}

}  // namespace host
