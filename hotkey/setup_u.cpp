#include "hotkey/setup_u.h"

#include <cerrno>
#include <limits>
#include <optional>

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Exception.h"
#include "host/IniFiles.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/Trace.h"

namespace setup_u {

std::int32_t CtrlAltShiftByte = 0;
std::int32_t PreKey = 123;
bool b_laavir_makash_le_windows = true;
TSetupForm* SetupForm = nullptr;

namespace {

constexpr const char* kSection = "Setup";
constexpr const char* kCtrlAltShiftByte = "CtrlAltShiftByte";
constexpr const char* kPreKey = "PreKey";
constexpr const char* kPassOn = "b_laavir_makash_le_windows";

constexpr std::int32_t kDefaultCtrlAltShiftByte = 0;
constexpr std::int32_t kDefaultPreKey = 123;  // F12
constexpr bool kDefaultPassOn = true;

// The settings are 32-bit: a number past that is no setting, and gives the default rather than
// a value wrapped round into range.
std::int32_t Int32Or(long long value, std::int32_t fallback) {
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return fallback;
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t ReadInt32(const host::TMemIniFile& ini, const char* key, std::int32_t fallback) {
  return Int32Or(ini.ReadInteger(kSection, key, fallback), fallback);
}

// A settings file that cannot be written (a folder a standard user may not write) must not cost
// the user the hotkey: loading goes on with what it read, and support can see why a change did
// not last.
void TraceWriteFailure(const std::string& fileName, const host::EInOutError& e) {
  if (host::Tracing()) host::TraceLine("settings", "cannot write " + fileName + ": " + e.Message());
}

// The dialog's texts, as the shop has always seen them (the trailing blanks included).
constexpr const char* kDialogCaption = "מקש פתיחת מגירה";
constexpr const char* kStartKeyCaption = "מקש התחלה:";
constexpr const char* kSaveAndExitCaption = "שמירה + יציאה ";
constexpr const char* kCtrlItem = "מקש Ctrl ";
constexpr const char* kAltItem = "מקש Alt ";
constexpr const char* kShiftItem = "מקש Shift";
constexpr const char* kSetDefaultCaption = "הגדרות ברירת מחדל";
constexpr const char* kPassOnCaption = "להעביר מקש לWindows";
// "The settings were not saved to the file:"
constexpr const char* kNotSavedText = "ההגדרות לא נשמרו בקובץ:";

// Writes the settings into the file. Gives why nothing was written when the file exists but cannot
// be read; a file that cannot be written raises host::EInOutError.
std::optional<std::string> SaveInto(const std::string& fileName);

}  // namespace

void ClampSettings() {
  if (CtrlAltShiftByte > 3) CtrlAltShiftByte = kDefaultCtrlAltShiftByte;
  if (PreKey == 0) PreKey = kDefaultPreKey;
}

std::string SettingsFileNameFor(const std::string& exeName) {
  return host::ExtractFilePath(exeName) + "ROVUDIZ.INI";
}

std::string SettingsFileName() {
  return SettingsFileNameFor(host::Application != nullptr ? host::Application->ExeName()
                                                          : host::ModuleFileName());
}

void SetDefaultSettings() {
  CtrlAltShiftByte = kDefaultCtrlAltShiftByte;
  PreKey = kDefaultPreKey;
  b_laavir_makash_le_windows = kDefaultPassOn;
}

bool LoadSettings() {
  return LoadSettings(SettingsFileName());
}

bool LoadSettings(const std::string& fileName) {
  SetDefaultSettings();
  if (!host::FileExists(fileName)) {
    ShowSettingsInDialog();
    try {
      SaveSettings(fileName);
    } catch (const host::EInOutError& e) {
      TraceWriteFailure(fileName, e);
    }
  }
  std::optional<host::TMemIniFile> ini;
  try {
    ini.emplace(fileName);
  } catch (const host::EInOutError&) {
    host::TraceDroppedException("LoadSettings");
    return false;
  }
  CtrlAltShiftByte = ReadInt32(*ini, kCtrlAltShiftByte, kDefaultCtrlAltShiftByte);
  PreKey = ReadInt32(*ini, kPreKey, kDefaultPreKey);
  b_laavir_makash_le_windows = ini->ReadBool(kSection, kPassOn, kDefaultPassOn);
  // Rewritten from what was read, not from the clamped values: a key code of 0 stays in the file
  // until the next save.
  try {
    ini->UpdateFile();
  } catch (const host::EInOutError& e) {
    TraceWriteFailure(fileName, e);
  }
  ClampSettings();
  return true;
}

bool SaveSettings() {
  return SaveSettings(SettingsFileName());
}

bool SaveSettings(const std::string& fileName) {
  return !SaveInto(fileName).has_value();
}

void ShowSettingsInDialog() {
  if (SetupForm == nullptr) return;
  SetupForm->RadioGroup1->SetItemIndex(CtrlAltShiftByte);
  SetupForm->Edit1->SetText(std::to_string(PreKey));
  SetupForm->cbLaavirMakashLeWindows->SetChecked(b_laavir_makash_le_windows);
}

void ShowSetupDialog() {
  ShowSetupDialog(SettingsFileName());
}

void ShowSetupDialog(const std::string& fileName) {
  if (SetupForm != nullptr) {
    // Already open (the tray menu stays reachable while it is): one dialog, brought forward.
    SetupForm->SetFocus();
    return;
  }
  // Owned by the application, freed here whatever happens; SetupForm is null again afterwards.
  struct Release {
    ~Release() {
      delete SetupForm;
      SetupForm = nullptr;
    }
  } release;
  SetupForm = new TSetupForm(host::Application);
  SetupForm->FileName = fileName;
  LoadSettings(fileName);
  ShowSettingsInDialog();
  SetupForm->ShowModal();
}

// ---- TSetupForm ----

namespace {

template <class Control>
Control* Place(TSetupForm* form, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(form);
  control->SetName(name);
  control->SetParent(form);
  control->SetBounds(left, top, width, height);
  return control;
}

// A key code as the field shows it; a text that is no 32-bit decimal number gives F12.
std::int32_t KeyCodeOf(const std::string& text) {
  if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos) {
    return kDefaultPreKey;
  }
  return Int32Or(host::StrToIntDef(text, kDefaultPreKey), kDefaultPreKey);
}

}  // namespace

TSetupForm::TSetupForm(host::TComponent* owner) : host::TForm(owner), FileName(SettingsFileName()) {
  SetName("SetupForm");
  SetBiDiMode(host::TBiDiMode::bdRightToLeft);
  SetColor(host::clBtnFace);
  SetFont({"MS Sans Serif", 11, false});
  SetCaption(kDialogCaption);
  SetBounds(238, 88, 521, 270);

  Label1 = Place<host::TLabel>(this, "Label1", 305, 47, 20, 29);
  Label1->SetCaption("+");
  Label1->SetFont({"Tahoma", 24, true});

  Label2 = Place<host::TLabel>(this, "Label2", 220, 55, 72, 13);
  Label2->SetCaption(kStartKeyCaption);
  Label2->SetFont({"Tahoma", 11, true});

  btnClose = Place<host::TButton>(this, "btnClose", 72, 167, 113, 25);
  btnClose->SetCaption(kSaveAndExitCaption);
  btnClose->SetTabOrder(0);
  btnClose->OnClick = host::TNotifyEvent::Of<&TSetupForm::btnCloseClick>(this);

  RadioGroup1 = Place<host::TRadioGroup>(this, "RadioGroup1", 344, 16, 89, 105);
  RadioGroup1->SetItems({kCtrlItem, kAltItem, kShiftItem, "none"});
  RadioGroup1->SetItemIndex(0);
  RadioGroup1->SetTabOrder(1);

  Edit1 = Place<host::TEdit>(this, "Edit1", 136, 52, 54, 21);
  Edit1->SetReadOnly(true);
  Edit1->SetTabOrder(2);
  Edit1->OnKeyDown = host::TKeyEvent::Of<&TSetupForm::Edit1KeyDown>(this);
  Edit1->OnKeyUp = host::TKeyEvent::Of<&TSetupForm::Edit1KeyUp>(this);

  btnSetDefault = Place<host::TButton>(this, "btnSetDefault", 305, 167, 145, 25);
  btnSetDefault->SetCaption(kSetDefaultCaption);
  btnSetDefault->SetTabOrder(3);
  btnSetDefault->OnClick = host::TNotifyEvent::Of<&TSetupForm::btnSetDefaultClick>(this);

  cbLaavirMakashLeWindows =
      Place<host::TCheckBox>(this, "cbLaavirMakashLeWindows", 272, 128, 153, 25);
  cbLaavirMakashLeWindows->SetCaption(kPassOnCaption);
  cbLaavirMakashLeWindows->SetWordWrap(true);
  cbLaavirMakashLeWindows->SetTabOrder(4);
  cbLaavirMakashLeWindows->SetChecked(false);
}

void TSetupForm::btnCloseClick(host::TObject* /*Sender*/) {
  CtrlAltShiftByte = RadioGroup1->ItemIndex();
  PreKey = KeyCodeOf(Edit1->Text());
  b_laavir_makash_le_windows = cbLaavirMakashLeWindows->Checked();
  std::optional<std::string> problem;
  try {
    problem = SaveInto(FileName);
  } catch (const host::EInOutError& e) {
    problem = e.Message();
  }
  if (problem) {
    if (host::Tracing()) host::TraceLine("settings", "not saved: " + *problem);
    host::ShowMessageBox(Handle(), std::string(kNotSavedText) + "\n" + FileName + "\n\n" + *problem,
                         Caption(), host::TMsgDlgType::mtError, true);
    return;
  }
  Close();
}

void TSetupForm::btnSetDefaultClick(host::TObject* /*Sender*/) {
  SetDefaultSettings();
  ShowSettingsInDialog();
}

void TSetupForm::Edit1KeyDown(host::TObject* /*Sender*/, WORD& /*Key*/,
                              host::TShiftState /*Shift*/) {}

void TSetupForm::Edit1KeyUp(host::TObject* /*Sender*/, WORD& /*Key*/, host::TShiftState /*Shift*/) {
  host::TForm* mainForm = host::Application != nullptr ? host::Application->MainForm() : nullptr;
  if (mainForm == nullptr) return;
  if (auto* label = dynamic_cast<host::TLabel*>(mainForm->FindComponent("Label4"))) {
    Edit1->SetText(label->Caption());
  }
}

namespace {

std::optional<std::string> SaveInto(const std::string& fileName) {
  ClampSettings();
  std::optional<host::TMemIniFile> ini;
  try {
    ini.emplace(fileName);
  } catch (const host::EInOutError& e) {
    host::TraceDroppedException("SaveSettings");
    // A file too large to be read holds nothing the program would read back: it is replaced.
    if (e.ErrorCode != EFBIG) return e.Message();
    ini.emplace(fileName, std::string());
  }
  ini->WriteInteger(kSection, kCtrlAltShiftByte, CtrlAltShiftByte);
  ini->WriteInteger(kSection, kPreKey, PreKey);
  ini->WriteBool(kSection, kPassOn, b_laavir_makash_le_windows);
  ini->UpdateFile();
  return std::nullopt;
}

}  // namespace
}  // namespace setup_u
