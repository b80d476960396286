// The hotkey trigger's decision for one key event, over plain values, so that the hook's handler
// is left with reading the event and writing the answer back.
#pragma once

#include <cstdint>

#include "host/WinDefs.h"

namespace tillkey {

// The two fields of the system's KBDLLHOOKSTRUCT that decide.
struct KeyEvent {
  DWORD vkCode = 0;
  DWORD flags = 0;  // LLKHF_UP set for a release
};

// Each flag stands for both keys of its pair: left and right Ctrl share Ctrl, and so on.
struct ModifierKeys {
  bool Ctrl = false;
  bool Alt = false;
  bool Shift = false;
};

struct HotkeySettings {
  std::int32_t CtrlAltShiftByte = 0;  // 0 Ctrl, 1 Alt, 2 Shift, 3 none; anything else never
  std::int32_t PreKey = 123;          // the hotkey's virtual-key code
  bool PassOn = true;                 // whether the hotkey's key-down still reaches the window
};

struct HotkeyDecision {
  bool RequestOpen = false;
  LRESULT Result = 0;  // what the hook answers: 1 swallows the event, 0 passes it on
};

// A modifier event moves its flag in `modifiers` and always passes. Any other key is the hotkey
// when it goes down while the chosen modifier condition holds; the hotkey asks for an opening
// unless the setup dialog is open, and is swallowed when the settings say so.
HotkeyDecision DecideKeyEvent(KeyEvent key, ModifierKeys& modifiers, const HotkeySettings& settings,
                              bool setupDialogOpen) noexcept;

}  // namespace tillkey
