// The hotkey's settings: in memory, and in ROVUDIZ.INI beside the executable.
#pragma once

#include <cstdint>

namespace setup_u {

class TSetupForm;

// The modifier: 0 Ctrl, 1 Alt, 2 Shift, 3 none (the setup dialog's radio items, in order).
extern std::int32_t CtrlAltShiftByte;
// The hotkey's virtual-key code.
extern std::int32_t PreKey;
// Whether the hotkey's key-down still reaches the focused window.
extern bool b_laavir_makash_le_windows;
// The setup dialog while it is open, null otherwise.
extern TSetupForm* SetupForm;

}  // namespace setup_u
