// Controls on a form: position, caption, font, reading order, tab order and focus. A control is a
// model; while its form has a window, a backend peer shows it (a child window on Win32) and
// reports back what the person did to it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Graphics.h"
#include "host/WinDefs.h"

namespace host {

class TForm;
class TControl;

enum class TControlKind { Label, Edit, Button, CheckBox, RadioGroup };

// Modifier keys held during a key event.
using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;
inline constexpr TShiftState ssLeft = 8;  // mouse buttons held
inline constexpr TShiftState ssRight = 16;
inline constexpr TShiftState ssMiddle = 32;

enum TMouseButton { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
using TMouseEvent =
    Event<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = Event<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// A handler may set Key to 0: the control then does not act on the key itself.
using TKeyEvent = Event<void(TObject* Sender, WORD& Key, TShiftState Shift)>;

// A control's native side, made when its form's window exists and gone with it.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual HWND Handle() const = 0;
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  virtual void SetText(const std::string& text) = 0;
  // Font, reading order and the kind's own styles (read-only, word wrap) are taken anew.
  virtual void UpdateStyle() = 0;
  virtual void SetChecked(bool checked) = 0;
  virtual void SetItems(const std::vector<std::string>& items) = 0;
  virtual void SetItemIndex(int index) = 0;
  // Puts the control after `previous` in the parent's tab order (first when null) and returns
  // its last window, after which the next control goes.
  virtual HWND PlaceAfter(HWND previous) = 0;
  virtual void SetFocus() = 0;
  virtual bool Focused() const = 0;
};
std::unique_ptr<ControlPeer> CreateControlPeer(TControl& control, HWND parent);

class TControl : public TComponent {
 public:
  TControl(TComponent* owner, TControlKind kind);
  ~TControl() override;

  TControlKind Kind() const { return kind_; }
  // Labels show text only; every other control can take the focus and has a place in the tab
  // order.
  bool IsWindowed() const { return kind_ != TControlKind::Label; }

  TForm* Parent() const { return parent_; }
  void SetParent(TForm* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Within the parent's client area.
  void SetBounds(int left, int top, int width, int height);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // The control's own font, or its parent's while ParentFont.
  TFont Font() const;
  void SetFont(const TFont& font);
  bool ParentFont() const { return !font_.has_value(); }
  void SetParentFont(bool value);

  // The control's own reading order, or its parent's while ParentBiDiMode.
  TBiDiMode BiDiMode() const;
  void SetBiDiMode(TBiDiMode mode);
  bool ParentBiDiMode() const { return !biDiMode_.has_value(); }
  void SetParentBiDiMode(bool value);
  bool UseRightToLeftReading() const { return BiDiMode() == TBiDiMode::bdRightToLeft; }

  // The control's place among the parent's windowed controls (-1 for a label or without a
  // parent). A new place moves the others up or down; a place past the end means the last.
  int TabOrder() const;
  void SetTabOrder(int value);
  bool TabStop() const { return tabStop_; }

  // Takes the keyboard focus (a windowed control whose form has its window).
  void SetFocus();
  bool Focused() const;
  HWND Handle() const;

  // The backend's side: the peer is made and dropped with the parent's window, and key events
  // reach the control through these.
  ControlPeer* Peer() const { return peer_.get(); }
  void CreatePeer(HWND parentWindow);
  void DestroyPeer();
  void StyleChanged();
  virtual void DoKeyDown(WORD& /*key*/, TShiftState /*shift*/) {}
  virtual void DoKeyUp(WORD& /*key*/, TShiftState /*shift*/) {}

 protected:
  // Puts the kind's own state (checked, items, ...) onto a fresh peer.
  virtual void ApplyTo(ControlPeer& /*peer*/) {}
  void SetCaptionFromPeer(const std::string& caption) { caption_ = caption; }

 private:
  friend class TForm;

  TControlKind kind_;
  TForm* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string caption_;
  std::optional<TFont> font_;
  std::optional<TBiDiMode> biDiMode_;
  bool tabStop_;
  std::unique_ptr<ControlPeer> peer_;
};

}  // namespace host
