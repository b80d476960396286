// The hotkey's settings: in memory, in ROVUDIZ.INI beside the executable, and in the setup dialog
// where the person picks the modifier, captures the key and chooses whether it reaches Windows.
#pragma once

#include <cstdint>
#include <string>

#include "host/Forms.h"
#include "host/StdCtrls.h"

namespace setup_u {

// The setup dialog: Hebrew, right to left.
class TSetupForm : public host::TForm {
 public:
  explicit TSetupForm(host::TComponent* owner);

  // Where the dialog's values are saved: the settings file unless told otherwise.
  std::string FileName;

  host::TLabel* Label1 = nullptr;
  host::TLabel* Label2 = nullptr;
  host::TButton* btnClose = nullptr;
  host::TRadioGroup* RadioGroup1 = nullptr;
  host::TEdit* Edit1 = nullptr;
  host::TButton* btnSetDefault = nullptr;
  host::TCheckBox* cbLaavirMakashLeWindows = nullptr;

  // Takes the dialog's values, saves them and closes the dialog. When they cannot be saved the
  // person is told why, and the dialog stays open with the values already in memory.
  void btnCloseClick(host::TObject* Sender);
  // The defaults, in memory and in the dialog; the file is not touched.
  void btnSetDefaultClick(host::TObject* Sender);
  void Edit1KeyDown(host::TObject* Sender, WORD& Key, host::TShiftState Shift);
  // The key field shows the code of the last key event the keyboard hook saw, which the main
  // form's Label4 holds: on a key's release, that key's own code.
  void Edit1KeyUp(host::TObject* Sender, WORD& Key, host::TShiftState Shift);
};

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
// read, a file over 64 KiB included (it is not read at all): the defaults stay. A file that cannot
// be written costs nothing but the write: what was read stays in memory, and the support trace
// records the failure.
bool LoadSettings();
bool LoadSettings(const std::string& fileName);
// Writes the settings into the file, keeping what else it holds. False when the file exists but
// cannot be read (it is left alone), unless it is over 64 KiB: that one is replaced by the
// settings alone. A file that cannot be written raises host::EInOutError.
bool SaveSettings();
bool SaveSettings(const std::string& fileName);

// The settings in memory into the open dialog's controls; nothing when it is not open.
void ShowSettingsInDialog();
// Opens the dialog modally with the settings freshly loaded; SetupForm holds it while it is open.
// While it is open, a second request brings it to the front instead of opening another.
void ShowSetupDialog();
void ShowSetupDialog(const std::string& fileName);

}  // namespace setup_u
