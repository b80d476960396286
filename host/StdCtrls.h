// The standard controls: label, edit box, button, check box, radio group, and the list box the
// device list lives in.
#pragma once

#include <string>
#include <vector>

#include "host/Component.h"
#include "host/Controls.h"
#include "host/Event.h"

namespace host {

// A text on its form. Without a parent it is text only, as the labels the logic writes to and no
// one sees.
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner) : TControl(owner, TControlKind::Label) {}
};

// A one-line text field.
class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* owner) : TControl(owner, TControlKind::Edit) {}

  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;

  // From the native side.
  void DoKeyDown(WORD& key, TShiftState shift) override;
  void DoKeyUp(WORD& key, TShiftState shift) override;
  void TextEdited(const std::string& text) { SetCaptionFromPeer(text); }

 private:
  bool readOnly_ = false;
};

class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner) : TControl(owner, TControlKind::Button) {}

  TNotifyEvent OnClick;
  // What a press does: OnClick.
  void Click() {
    if (OnClick) OnClick(this);
  }
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TComponent* owner) : TControl(owner, TControlKind::CheckBox) {}

  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  // The caption breaks into lines where it is wider than the box.
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);

  TNotifyEvent OnClick;
  // The person toggled it.
  void Toggled(bool checked);

 protected:
  void ApplyTo(ControlPeer& peer) override { peer.SetChecked(checked_); }

 private:
  bool checked_ = false;
  bool wordWrap_ = false;
};

// A framed group of radio items in one column, at most one of them selected. The caption is the
// frame's.
class TRadioGroup : public TControl {
 public:
  explicit TRadioGroup(TComponent* owner) : TControl(owner, TControlKind::RadioGroup) {}

  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  // -1 when no item is selected. A value below -1 means none; one past the last item, the last.
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int value);

  TNotifyEvent OnClick;
  // The person selected an item.
  void ItemClicked(int index);

 protected:
  void ApplyTo(ControlPeer& peer) override;

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
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

}  // namespace host
