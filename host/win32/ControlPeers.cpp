// Controls as the system's own child windows: STATIC for a label, EDIT, BUTTON in its push,
// check box, group box and radio forms. Texts go through the wide calls; right to left gives
// right-to-left reading and right-aligned texts, without mirroring the layout.
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/StdCtrls.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "host/win32/FormWindows.h"
#include "host/win32/NativeText.h"

namespace host {
namespace win32 {
namespace {

constexpr const wchar_t* kControlProperty = L"TillControl";

struct WindowStyle {
  DWORD style;
  DWORD exStyle;
};

DWORD ReadingExStyle(const TControl& control, bool alignRight) {
  if (!control.UseRightToLeftReading()) return 0;
  DWORD exStyle = WS_EX_RTLREADING | WS_EX_LEFTSCROLLBAR;
  if (alignRight) exStyle |= WS_EX_RIGHT;
  return exStyle;
}

DWORD CommonStyle(const TControl& control) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  if (control.IsWindowed()) style |= WS_GROUP;
  if (control.TabStop()) style |= WS_TABSTOP;
  return style;
}

WindowStyle StyleOf(const TControl& control) {
  const bool rtl = control.UseRightToLeftReading();
  const DWORD common = CommonStyle(control);
  switch (control.Kind()) {
    case TControlKind::Label:
      return {common | (rtl ? SS_RIGHT : SS_LEFT), ReadingExStyle(control, true)};
    case TControlKind::Edit: {
      const auto& edit = static_cast<const TEdit&>(control);
      DWORD style = common | ES_AUTOHSCROLL | (rtl ? ES_RIGHT : ES_LEFT);
      if (edit.ReadOnly()) style |= ES_READONLY;
      return {style, WS_EX_CLIENTEDGE | ReadingExStyle(control, true)};
    }
    case TControlKind::Button:
      // A push button's caption stays centred in either reading order.
      return {common | BS_PUSHBUTTON | BS_CENTER, ReadingExStyle(control, false)};
    case TControlKind::CheckBox: {
      const auto& box = static_cast<const TCheckBox&>(control);
      DWORD style = common | BS_AUTOCHECKBOX | BS_VCENTER;
      if (box.WordWrap()) style |= BS_MULTILINE;
      if (rtl) style |= BS_RIGHTBUTTON | BS_RIGHT;
      return {style, ReadingExStyle(control, true)};
    }
    case TControlKind::RadioGroup:
      // The frame; its items are windows of their own, beside it.
      return {static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX |
                                 (rtl ? BS_RIGHT : BS_LEFT)),
              ReadingExStyle(control, true)};
  }
  return {common, 0};
}

WindowStyle RadioItemStyle(const TControl& group, bool first, bool tabStop) {
  const bool rtl = group.UseRightToLeftReading();
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_AUTORADIOBUTTON | BS_VCENTER;
  if (first) style |= WS_GROUP;
  if (tabStop) style |= WS_TABSTOP;
  if (rtl) style |= BS_RIGHTBUTTON | BS_RIGHT;
  return {style, ReadingExStyle(group, true)};
}

const wchar_t* ClassOf(TControlKind kind) {
  switch (kind) {
    case TControlKind::Label:
      return L"STATIC";
    case TControlKind::Edit:
      return L"EDIT";
    default:
      return L"BUTTON";
  }
}

// Whether the UTF-8 text holds a character of the Hebrew block, U+0590..U+05FF: D6 90..D6 BF
// and D7 80..D7 BF.
bool HasHebrew(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if ((lead == 0xD6 && next >= 0x90 && next <= 0xBF) ||
        (lead == 0xD7 && next >= 0x80 && next <= 0xBF)) {
      return true;
    }
  }
  return false;
}

TShiftState CurrentShiftState() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  return shift;
}

void ApplyStyle(HWND wnd, const WindowStyle& style) {
  SetWindowLongPtrW(wnd, GWL_STYLE, static_cast<LONG_PTR>(style.style));
  SetWindowLongPtrW(wnd, GWL_EXSTYLE, static_cast<LONG_PTR>(style.exStyle));
  SetWindowPos(wnd, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(wnd, nullptr, TRUE);
}

// The rows of a radio group's items within its frame: below the frame's caption, one equal row
// each, inset from the frame's edges.
RECT RadioItemBounds(const TControl& group, int index, int count) {
  const int captionHeight = group.Font().Height + 4;
  const int inset = 8;
  const int top = group.Top() + captionHeight;
  const int available = std::max(0, group.Height() - captionHeight - 4);
  const int row = count > 0 ? available / count : 0;
  const int left = group.Left() + inset;
  const int width = std::max(0, group.Width() - 2 * inset);
  return {left, top + index * row, left + width, top + (index + 1) * row};
}

class Win32ControlPeer final : public ControlPeer, public NativeControl {
 public:
  Win32ControlPeer(TControl& control, HWND parent) : control_(control), parent_(parent) {
    wnd_ = MakeWindow(ClassOf(control.Kind()), control.Caption(), StyleOf(control),
                      {control.Left(), control.Top(), control.Left() + control.Width(),
                       control.Top() + control.Height()});
    if (wnd_ != nullptr && control.Kind() == TControlKind::Edit) {
      // Subclassed for its key events; the edit's own procedure does the rest.
      editProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32ControlPeer::EditProc)));
    }
    TakeFont();
  }
  ~Win32ControlPeer() override {
    DestroyItems();
    if (wnd_ != nullptr) {
      if (editProc_ != nullptr) {
        SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc_));
      }
      RemovePropW(wnd_, kControlProperty);
      DestroyWindow(wnd_);
    }
  }
  Win32ControlPeer(const Win32ControlPeer&) = delete;
  Win32ControlPeer& operator=(const Win32ControlPeer&) = delete;

  // ---- ControlPeer ----
  HWND Handle() const override { return wnd_; }

  void SetBounds(int left, int top, int width, int height) override {
    if (wnd_ != nullptr) MoveWindow(wnd_, left, top, width, height, TRUE);
    PlaceItems();
  }

  void SetText(const std::string& text) override {
    if (wnd_ != nullptr) SetWindowTextW(wnd_, Wide(text).c_str());
    if (HasHebrew(text) != HasHebrew(fontText_)) TakeFont();
  }

  void UpdateStyle() override {
    if (wnd_ == nullptr) return;
    ApplyStyle(wnd_, StyleOf(control_));
    if (control_.Kind() == TControlKind::Edit) {
      SendMessageW(wnd_, EM_SETREADONLY, static_cast<const TEdit&>(control_).ReadOnly(), 0);
    }
    for (std::size_t i = 0; i < items_.size(); ++i) ApplyStyle(items_[i], ItemStyle(i));
    TakeFont();
    PlaceItems();
  }

  void SetChecked(bool checked) override {
    if (wnd_ != nullptr) {
      SendMessageW(wnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }

  void SetItems(const std::vector<std::string>& items) override {
    DestroyItems();
    itemTexts_ = items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const RECT r = RadioItemBounds(control_, static_cast<int>(i), static_cast<int>(items.size()));
      HWND item = MakeWindow(L"BUTTON", items[i], ItemStyle(i), r);
      if (item != nullptr) items_.push_back(item);
    }
    TakeFont();
    // The items stand right after the frame's place in the tab order.
    PlaceAfter(placedAfter_);
  }

  void SetItemIndex(int index) override {
    selected_ = index;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      SendMessageW(items_[i], BM_SETCHECK,
                   static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED, 0);
      ApplyStyle(items_[i], ItemStyle(i));
    }
  }

  HWND PlaceAfter(HWND previous) override {
    placedAfter_ = previous;
    if (control_.Kind() != TControlKind::RadioGroup) {
      Place(wnd_, previous);
      return wnd_ != nullptr ? wnd_ : previous;
    }
    // The items follow one another, so that the system sees them as one group; the frame lies
    // under everything, so that it never paints over them.
    HWND last = previous;
    for (HWND item : items_) {
      Place(item, last);
      last = item;
    }
    if (wnd_ != nullptr) {
      SetWindowPos(wnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return last;
  }

  void SetFocus() override {
    HWND target = wnd_;
    if (control_.Kind() == TControlKind::RadioGroup) {
      target = items_.empty() ? nullptr : items_[static_cast<std::size_t>(TabItem())];
    }
    if (target != nullptr) ::SetFocus(target);
  }

  bool Focused() const override {
    HWND focus = GetFocus();
    if (focus == nullptr) return false;
    return focus == wnd_ || std::find(items_.begin(), items_.end(), focus) != items_.end();
  }

  // ---- NativeControl ----
  TControl& Control() override { return control_; }

  void Notify(HWND child, WORD code) override {
    switch (control_.Kind()) {
      case TControlKind::Button:
        if (code == BN_CLICKED) static_cast<TButton&>(control_).Click();
        break;
      case TControlKind::CheckBox:
        if (code == BN_CLICKED) {
          const bool checked = SendMessageW(wnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
          static_cast<TCheckBox&>(control_).Toggled(checked);
        }
        break;
      case TControlKind::RadioGroup:
        if (code == BN_CLICKED) {
          auto it = std::find(items_.begin(), items_.end(), child);
          if (it != items_.end()) {
            // The clicked item takes the check and the group's tab stop.
            SetItemIndex(static_cast<int>(it - items_.begin()));
            static_cast<TRadioGroup&>(control_).ItemClicked(selected_);
          }
        }
        break;
      case TControlKind::Edit:
        if (code == EN_CHANGE) static_cast<TEdit&>(control_).TextEdited(WindowText(wnd_));
        break;
      case TControlKind::Label:
        break;
    }
  }

 private:
  HWND MakeWindow(const wchar_t* className, const std::string& text, const WindowStyle& style,
                  const RECT& r) {
    HWND wnd = CreateWindowExW(style.exStyle, className, Wide(text).c_str(), style.style, r.left,
                               r.top, r.right - r.left, r.bottom - r.top, parent_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (wnd == nullptr) {
      if (Tracing()) {
        TraceLine("form", "cannot create the window of " + control_.Name() + ": " +
                              SysErrorMessage(static_cast<int>(GetLastError())));
      }
      return nullptr;
    }
    SetPropW(wnd, kControlProperty, static_cast<HANDLE>(static_cast<NativeControl*>(this)));
    return wnd;
  }

  // The item that holds the group's tab stop: the selected one, or the first.
  int TabItem() const {
    return selected_ >= 0 && selected_ < static_cast<int>(items_.size()) ? selected_ : 0;
  }

  WindowStyle ItemStyle(std::size_t index) const {
    return RadioItemStyle(control_, index == 0,
                          control_.TabStop() && static_cast<int>(index) == TabItem());
  }

  void PlaceItems() {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const RECT r =
          RadioItemBounds(control_, static_cast<int>(i), static_cast<int>(items_.size()));
      MoveWindow(items_[i], r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
  }

  // The old font is deleted only once no window uses it any more.
  void TakeFont() {
    fontText_ = control_.Caption();
    for (const std::string& item : itemTexts_) fontText_ += item;
    FontHandle font = CreateNativeFont(control_.Font(), fontText_);
    const auto handle = reinterpret_cast<WPARAM>(font.Get());
    if (wnd_ != nullptr) SendMessageW(wnd_, WM_SETFONT, handle, TRUE);
    for (HWND item : items_) SendMessageW(item, WM_SETFONT, handle, TRUE);
    font_ = std::move(font);
  }

  static void Place(HWND wnd, HWND after) {
    if (wnd == nullptr) return;
    SetWindowPos(wnd, after != nullptr ? after : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  void DestroyItems() {
    for (HWND item : items_) {
      RemovePropW(item, kControlProperty);
      DestroyWindow(item);
    }
    items_.clear();
  }

  static LRESULT CALLBACK EditProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* native = static_cast<NativeControl*>(GetPropW(wnd, kControlProperty));
    auto* self = static_cast<Win32ControlPeer*>(native);
    if (self == nullptr) return DefWindowProcW(wnd, msg, wParam, lParam);
    const WNDPROC next = self->editProc_;
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYUP) {
      auto key = static_cast<WORD>(wParam);
      try {
        if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
          self->control_.DoKeyDown(key, CurrentShiftState());
        } else {
          self->control_.DoKeyUp(key, CurrentShiftState());
        }
      } catch (...) {
        // Nothing may unwind through the system's dispatcher; the key goes on as it came.
        TraceDroppedException("a key handler of " + self->control_.Name());
      }
      if (key == 0) return 0;
      wParam = key;
    }
    return CallWindowProcW(next, wnd, msg, wParam, lParam);
  }

  TControl& control_;
  HWND parent_;
  HWND wnd_ = nullptr;
  WNDPROC editProc_ = nullptr;
  std::vector<HWND> items_;
  int selected_ = -1;
  HWND placedAfter_ = nullptr;
  std::vector<std::string> itemTexts_;
  std::string fontText_;  // the texts the font was chosen for
  FontHandle font_;
};

}  // namespace

NativeControl* NativeControlOf(HWND child) {
  return child != nullptr ? static_cast<NativeControl*>(GetPropW(child, kControlProperty))
                          : nullptr;
}

FontHandle CreateNativeFont(const TFont& font, const std::string& text) {
  LOGFONTW lf{};
  lf.lfHeight = -font.Height;  // negative: the character's height, as the form gives it
  lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = HasHebrew(text) ? HEBREW_CHARSET : DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring name = Wide(font.Name);
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), LF_FACESIZE - 1), lf.lfFaceName);
  return FontHandle(CreateFontIndirectW(&lf));
}

}  // namespace win32

std::unique_ptr<ControlPeer> CreateControlPeer(TControl& control, HWND parent) {
  return std::make_unique<win32::Win32ControlPeer>(control, parent);
}

}  // namespace host
