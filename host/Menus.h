// Popup menus and their items. Items are components of their owner (a form frees them); a parent
// item only lists its children, and an item leaves its parent's list when it is destroyed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Component.h"
#include "host/Event.h"

namespace host {

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  // The caption "-" makes the item a separator line.
  bool IsLine() const { return caption_ == "-"; }
  // The item a double click on the menu's owner chooses; shown in bold.
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  TMenuItem* Parent() const { return parent_; }
  // Makes `item` the last child (taking it from another parent first).
  void Add(TMenuItem* item);
  void Remove(TMenuItem* item);

  TNotifyEvent OnClick;
  // Runs OnClick, when the item is enabled.
  virtual void Click();

 private:
  std::string caption_;
  bool default_ = false;
  bool enabled_ = true;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;

  // The top-level items are this item's children.
  TMenuItem* Items() const { return items_.get(); }
  // Whether the menu's owner shows it by itself when it is asked for (a right click).
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool value) { autoPopup_ = value; }
  // The component that last showed the menu; null again when that component is destroyed.
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* component);

  TNotifyEvent OnPopup;
  // Shows the menu with its top-left corner at the screen point and returns once it is closed;
  // the item chosen, if any, is clicked after the menu has gone.
  virtual void Popup(int x, int y);

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TMenuItem> items_;
  bool autoPopup_ = true;
  TComponent* popupComponent_ = nullptr;
};

// The backend's side: shows the menu and waits, dispatching messages, until the person closes it.
// Returns the item chosen, or null.
TMenuItem* TrackPopupMenuAt(TPopupMenu& menu, int x, int y);
// Closes the popup menu this thread is tracking, if any, as if the person had dismissed it.
void EndPopupMenu();

}  // namespace host
