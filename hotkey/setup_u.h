// The hotkey's settings: in memory, and in ROVUDIZ.INI beside the executable.
#pragma once

#include <cstdint>
#include <string>

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

// After every load and before every save: a modifier past 3 becomes Ctrl (negative ones stay),
// a key code of 0 becomes F12.
void ClampSettings();

// The executable's folder, with its delimiter, and ROVUDIZ.INI.
std::string SettingsFileName();
std::string SettingsFileNameFor(const std::string& exeName);

// The defaults into memory: Ctrl, F12, passed on. The file is not touched.
void SetDefaultSettings();

// Reads the settings, creating a missing file with the defaults and writing the file back in
// every case, so that what else it holds survives. False when the file exists but cannot be
// read: the defaults stay. A file that cannot be written costs nothing but the write: what was
// read stays in memory, and the support trace records the failure.
bool LoadSettings();
bool LoadSettings(const std::string& fileName);
// Writes the settings into the file, keeping what else it holds. A file that exists but cannot
// be read is left alone; one that cannot be written raises host::EInOutError.
void SaveSettings();
void SaveSettings(const std::string& fileName);

}  // namespace setup_u
