#include "host/Menus.h"

#include <algorithm>

namespace host {

TMenuItem::~TMenuItem() {
  for (TMenuItem* child : items_) child->parent_ = nullptr;
  if (parent_ != nullptr) parent_->Remove(this);
}

void TMenuItem::Add(TMenuItem* item) {
  if (item == nullptr || item == this) return;
  if (item->parent_ != nullptr) item->parent_->Remove(item);
  items_.push_back(item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);
}

TPopupMenu::TPopupMenu(TComponent* owner)
    : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {}

TPopupMenu::~TPopupMenu() {
  SetPopupComponent(nullptr);
}

void TPopupMenu::SetPopupComponent(TComponent* component) {
  if (component == popupComponent_) return;
  if (popupComponent_ != nullptr) RemoveFreeNotification(popupComponent_);
  popupComponent_ = component;
  if (component != nullptr) FreeNotification(component);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == popupComponent_) popupComponent_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  if (TMenuItem* chosen = TrackPopupMenuAt(*this, x, y)) chosen->Click();
}

}  // namespace host
