#include "host/Icons.h"

namespace host {

void TIcon::LoadFromResourceName(const std::string& name) {
  handle_.Reset();
  resource_ = name;
  Changed();
}

HICON TIcon::Handle() {
  if (handle_.Get() == nullptr && !resource_.empty()) {
    handle_ = IconHandle(LoadIconResource(resource_));
    if (handle_.Get() == nullptr) {
      throw EReadError("Icon resource " + resource_ + " cannot be read");
    }
  }
  return handle_.Get();
}

void TIcon::Assign(TIcon& source) {
  if (&source == this) return;
  resource_ = source.resource_;
  handle_ =
      IconHandle(source.handle_.Get() != nullptr ? CopyIconHandle(source.handle_.Get()) : nullptr);
  Changed();
}

void TIcon::Changed() {
  if (OnChange) OnChange(this);
}

int TCustomImageList::AddIcon(TIcon& icon) {
  auto copy = std::make_unique<TIcon>();
  copy->Assign(icon);
  images_.push_back(std::move(copy));
  return Count() - 1;
}

bool TCustomImageList::GetIcon(int index, TIcon& target) const {
  if (index < 0 || index >= Count()) return false;
  target.Assign(*images_[static_cast<std::size_t>(index)]);
  return true;
}

}  // namespace host
