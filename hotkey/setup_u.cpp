#include "hotkey/setup_u.h"

#include <limits>
#include <optional>

#include "host/Exception.h"
#include "host/Forms.h"
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
std::int32_t ReadInt32(const host::TMemIniFile& ini, const char* key, std::int32_t fallback) {
  const long long value = ini.ReadInteger(kSection, key, fallback);
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return fallback;
  }
  return static_cast<std::int32_t>(value);
}

// A settings file that cannot be written (a folder a standard user may not write) must not cost
// the user the hotkey: loading goes on with what it read, and support can see why a change did
// not last.
void TraceWriteFailure(const std::string& fileName, const host::EInOutError& e) {
  if (host::Tracing()) host::TraceLine("settings", "cannot write " + fileName + ": " + e.Message());
}

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

void SaveSettings() {
  SaveSettings(SettingsFileName());
}

void SaveSettings(const std::string& fileName) {
  ClampSettings();
  std::optional<host::TMemIniFile> ini;
  try {
    ini.emplace(fileName);
  } catch (const host::EInOutError&) {
    host::TraceDroppedException("SaveSettings");
    return;
  }
  ini->WriteInteger(kSection, kCtrlAltShiftByte, CtrlAltShiftByte);
  ini->WriteInteger(kSection, kPreKey, PreKey);
  ini->WriteBool(kSection, kPassOn, b_laavir_makash_le_windows);
  ini->UpdateFile();
}

}  // namespace setup_u
