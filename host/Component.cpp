#include "host/Component.h"

#include <algorithm>

namespace host {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) {
    owner->InsertComponent(this);
    loading_ = owner->loading_;
  }
}

TComponent::~TComponent() {
  // Those who asked to be told go first, so they drop their references before we vanish.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&name](const TComponent* c) { return c->name_ == name; });
  return it == components_.end() ? nullptr : *it;
}

void TComponent::BeginLoading() {
  loading_ = true;
  for (TComponent* c : components_) c->loading_ = true;
}

void TComponent::EndLoading() {
  // A copy: Loaded may create or free components.
  std::vector<TComponent*> loaded = components_;
  loaded.push_back(this);
  for (TComponent* c : loaded) c->loading_ = false;
  for (TComponent* c : loaded) c->Loaded();
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) ==
      other->freeNotifies_.end()) {
    other->freeNotifies_.push_back(this);
    freeNotifies_.push_back(other);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  auto& theirs = other->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other),
                      freeNotifies_.end());
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // its destructor removes it from components_
  }
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove) {
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component),
                        freeNotifies_.end());
  }
  for (TComponent* c : components_) {
    if (c != component) c->Notification(component, operation);
  }
}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  Notification(component, TOperation::opRemove);
  components_.erase(std::remove(components_.begin(), components_.end(), component),
                    components_.end());
  component->owner_ = nullptr;
}

}  // namespace host
