#include "apps/tillkey/HotkeyTrigger.h"

namespace tillkey {
namespace {

// The left and right keys of each modifier pair. The generic codes (17, 18, 16) never reach a
// low-level hook, which sees the physical key.
constexpr DWORD kLeftShift = 160;
constexpr DWORD kRightShift = 161;
constexpr DWORD kLeftCtrl = 162;
constexpr DWORD kRightCtrl = 163;
constexpr DWORD kLeftAlt = 164;
constexpr DWORD kRightAlt = 165;

bool ModifierConditionHolds(std::int32_t CtrlAltShiftByte, const ModifierKeys& down) {
  switch (CtrlAltShiftByte) {
    case 0:
      return down.Ctrl;
    case 1:
      return down.Alt;
    case 2:
      return down.Shift;
    case 3:
      return !down.Ctrl && !down.Alt && !down.Shift;
    default:
      return false;
  }
}

}  // namespace

HotkeyDecision DecideKeyEvent(KeyEvent key, ModifierKeys& modifiers, const HotkeySettings& settings,
                              bool setupDialogOpen) noexcept {
  // The flags tell a release; the message in wParam is WM_SYSKEYDOWN rather than WM_KEYDOWN
  // while Alt is held, so it would not.
  const bool keyDown = (key.flags & LLKHF_UP) == 0;
  if (key.vkCode == kLeftCtrl || key.vkCode == kRightCtrl) {
    modifiers.Ctrl = keyDown;
    return {};
  }
  if (key.vkCode == kLeftAlt || key.vkCode == kRightAlt) {
    modifiers.Alt = keyDown;
    return {};
  }
  if (key.vkCode == kLeftShift || key.vkCode == kRightShift) {
    modifiers.Shift = keyDown;
    return {};
  }
  // The key code is unsigned and the setting signed: widened, a negative setting matches no key,
  // not even one whose code has the top bit set.
  const bool hotkey =
      static_cast<std::int64_t>(key.vkCode) == static_cast<std::int64_t>(settings.PreKey) &&
      keyDown && ModifierConditionHolds(settings.CtrlAltShiftByte, modifiers);
  if (!hotkey) return {};
  // While the dialog is open the hotkey is being captured there, not used.
  return {!setupDialogOpen, settings.PassOn ? 0 : 1};
}

}  // namespace tillkey
