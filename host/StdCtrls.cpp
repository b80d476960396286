#include "host/StdCtrls.h"

#include <algorithm>

namespace host {

// ---- TEdit ----

void TEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  StyleChanged();
}

void TEdit::DoKeyDown(WORD& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TEdit::DoKeyUp(WORD& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

// ---- TCheckBox ----

void TCheckBox::SetChecked(bool value) {
  checked_ = value;
  if (Peer() != nullptr) Peer()->SetChecked(value);
}

void TCheckBox::SetWordWrap(bool value) {
  wordWrap_ = value;
  StyleChanged();
}

void TCheckBox::Toggled(bool checked) {
  checked_ = checked;
  if (OnClick) OnClick(this);
}

// ---- TRadioGroup ----

void TRadioGroup::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  itemIndex_ = std::min(itemIndex_, static_cast<int>(items_.size()) - 1);
  if (Peer() != nullptr) ApplyTo(*Peer());
}

void TRadioGroup::SetItemIndex(int value) {
  itemIndex_ = std::clamp(value, -1, static_cast<int>(items_.size()) - 1);
  if (Peer() != nullptr) Peer()->SetItemIndex(itemIndex_);
}

void TRadioGroup::ItemClicked(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  itemIndex_ = index;
  if (OnClick) OnClick(this);
}

void TRadioGroup::ApplyTo(ControlPeer& peer) {
  peer.SetItems(items_);
  peer.SetItemIndex(itemIndex_);
}

// ---- TListBox ----

int TListBox::Add(const std::string& text, TObject* object) {
  items_.push_back({text, object});
  return Count() - 1;
}

void TListBox::Clear() {
  items_.clear();
  itemIndex_ = -1;
}

void TListBox::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) return;
  itemIndex_ = index;
}

}  // namespace host
