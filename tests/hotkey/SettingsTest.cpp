// The hotkey's settings in memory and in ROVUDIZ.INI.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "host/Exception.h"
#include "host/IniFiles.h"
#include "host/Process.h"
#include "host/Trace.h"
#include "hotkey/setup_u.h"
#include "tests/Restricted.h"
#include "tests/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using till_testing::FileAccess;

std::string Crlf(const std::string& text) {
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

using till_testing::ReadWholeFile;

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = (dir_ / "ROVUDIZ.INI").string();
    // Not the defaults, so that a load leaving one of them alone shows.
    setup_u::CtrlAltShiftByte = 2;
    setup_u::PreKey = 65;
    setup_u::b_laavir_makash_le_windows = false;
  }
  void TearDown() override { setup_u::SetDefaultSettings(); }
  void Put(const std::string& text) const { till_testing::WriteWholeFile(file_, text); }
  static bool HasDefaults() {
    return setup_u::CtrlAltShiftByte == 0 && setup_u::PreKey == 123 &&
           setup_u::b_laavir_makash_le_windows;
  }

  till_testing::TestFolder dir_{"till-settings-"};
  std::string file_;
};

TEST(SettingsRules, ClampingChangesOnlyAModifierPastThreeAndAKeyCodeOfZero) {
  const struct {
    std::int32_t modifier, key, wantModifier, wantKey;
  } cases[] = {{0, 123, 0, 123},    {3, 1, 3, 1},     {4, 65, 0, 65},
               {7, 0, 0, 123},      {-1, -5, -1, -5}, {INT_MIN, 255, INT_MIN, 255},
               {INT_MAX, 0, 0, 123}};
  for (const auto& c : cases) {
    setup_u::CtrlAltShiftByte = c.modifier;
    setup_u::PreKey = c.key;
    setup_u::b_laavir_makash_le_windows = false;
    setup_u::ClampSettings();
    EXPECT_EQ(setup_u::CtrlAltShiftByte, c.wantModifier) << c.modifier;
    EXPECT_EQ(setup_u::PreKey, c.wantKey) << c.key;
    EXPECT_FALSE(setup_u::b_laavir_makash_le_windows);
  }
  setup_u::SetDefaultSettings();
}

TEST(SettingsRules, TheFileSitsBesideTheProgram) {
  const struct {
    const char* exe;
    const char* settings;
  } cases[] = {
#ifdef _WIN32
      {"C:\\pos\\till\\tillkey.exe", "C:\\pos\\till\\ROVUDIZ.INI"},
      {"C:/pos/till/tillkey.exe", "C:/pos/till/ROVUDIZ.INI"},
      {"C:\\pos/till\\tillkey.exe", "C:\\pos/till\\ROVUDIZ.INI"},
      {"C:\\tillkey.exe", "C:\\ROVUDIZ.INI"},
#else
      {"/opt/till/tillkey", "/opt/till/ROVUDIZ.INI"},
      {"/tillkey", "/ROVUDIZ.INI"},
      {"/opt/till\\key", "/opt/ROVUDIZ.INI"},
#endif
      {"tillkey", "ROVUDIZ.INI"}};
  for (const auto& c : cases) EXPECT_EQ(setup_u::SettingsFileNameFor(c.exe), c.settings);
  EXPECT_EQ(setup_u::SettingsFileName(), setup_u::SettingsFileNameFor(host::ModuleFileName()));
}

TEST_F(Settings, FirstStartInAnEmptyFolderCreatesTheFileWithTheDefaults) {
  EXPECT_TRUE(setup_u::LoadSettings(file_));
  EXPECT_TRUE(HasDefaults());
  EXPECT_EQ(ReadWholeFile(file_),
            "[Setup]\r\nCtrlAltShiftByte=0\r\nPreKey=123\r\nb_laavir_makash_le_windows=1\r\n");
}

// The file is rewritten from what was read, whatever was read: line ends become CR LF, values
// stay as they were, nothing is added.
TEST_F(Settings, LoadReadsSetupAndWritesTheFileBackAsItWasRead) {
  const struct {
    const char* text;
    std::int32_t modifier, key;
    bool passOn;
  } cases[] = {
      {"[Setup]\nCtrlAltShiftByte=2\nPreKey=65\nb_laavir_makash_le_windows=0\n", 2, 65, false},
      {"[Setup]\nCtrlAltShiftByte=7\nPreKey=0\n", 0, 123, true},
      {"[Setup]\nCtrlAltShiftByte=-1\n", -1, 123, true},
      {"[setup]\nprekey=$41\nB_LAAVIR_MAKASH_LE_WINDOWS=1\n", 0, 65, true},
      {"[Other]\nCtrlAltShiftByte=2\nPreKey=65\nb_laavir_makash_le_windows=0\n", 0, 123, true},
      {"[Setup]\nCtrlAltShiftByte=4294967297\nPreKey=F12\nb_laavir_makash_le_windows=no\n", 0, 123,
       true},
      {"", 0, 123, true},
  };
  for (const auto& c : cases) {
    Put(c.text);
    setup_u::PreKey = 66;
    EXPECT_TRUE(setup_u::LoadSettings(file_)) << c.text;
    EXPECT_EQ(setup_u::CtrlAltShiftByte, c.modifier) << c.text;
    EXPECT_EQ(setup_u::PreKey, c.key) << c.text;
    EXPECT_EQ(setup_u::b_laavir_makash_le_windows, c.passOn) << c.text;
    EXPECT_EQ(ReadWholeFile(file_), Crlf(c.text));
  }
}

TEST_F(Settings, SaveKeepsWhatElseTheFileHoldsAndClampsFirst) {
  Put("; till\r\n[Other]\r\nA=1\r\n[Setup]\r\nUnknown=keep\r\nPreKey=5\r\n");
  setup_u::PreKey = 0;
  setup_u::SaveSettings(file_);
  EXPECT_EQ(setup_u::PreKey, 123);
  EXPECT_EQ(ReadWholeFile(file_),
            "; till\r\n[Other]\r\nA=1\r\n[Setup]\r\nUnknown=keep\r\nPreKey=123\r\n"
            "CtrlAltShiftByte=2\r\nb_laavir_makash_le_windows=0\r\n");
}

TEST_F(Settings, NoModifierChosenIsWrittenBackAsMinusOne) {
  Put("[Setup]\r\nCtrlAltShiftByte=-1\r\nPreKey=0\r\n");
  ASSERT_TRUE(setup_u::LoadSettings(file_));
  setup_u::SaveSettings(file_);
  EXPECT_EQ(ReadWholeFile(file_),
            "[Setup]\r\nCtrlAltShiftByte=-1\r\nPreKey=123\r\nb_laavir_makash_le_windows=1\r\n");
}

TEST_F(Settings, AMissingFolderCostsOnlyTheWriteWhenLoadingAndRaisesWhenSaving) {
  const std::string trace = (dir_ / "trace.txt").string();
  const std::string file = (dir_ / "absent" / "ROVUDIZ.INI").string();
  {
    const host::Trace tracing(trace, "test");
    EXPECT_TRUE(setup_u::LoadSettings(file));
    EXPECT_TRUE(HasDefaults());
    EXPECT_THROW(setup_u::SaveSettings(file), host::EInOutError);
  }
  EXPECT_NE(ReadWholeFile(trace).find("settings: cannot write " + file + ": Cannot create file"),
            std::string::npos)
      << ReadWholeFile(trace);
}

TEST_F(Settings, AFileThatCannotBeReadGivesTheDefaultsAndIsNotWritten) {
  const std::string text = "[Setup]\r\nCtrlAltShiftByte=1\r\n[Other]\r\nA=1\r\n";
  Put(text);
  EXPECT_EQ(till_testing::WhileRestricted(file_, FileAccess::kNone, true,
                                          [&] {
                                            till_testing::Checks checks;
                                            checks.Expect(!setup_u::LoadSettings(file_),
                                                          "the load fails");
                                            checks.Expect(HasDefaults(), "the defaults");
                                            setup_u::SaveSettings(file_);  // nothing written
                                            return checks.Result();
                                          }),
            0);
  EXPECT_EQ(ReadWholeFile(file_), text);
}

// Any account could otherwise make every logon read gigabytes: 64 KiB is read, one byte more is
// not, and a save replaces it.
TEST_F(Settings, AFileOverSixtyFourKibibytesGivesTheDefaultsUntilASaveReplacesIt) {
  std::string text = "[Setup]\r\nPreKey=66\r\n;";
  text.resize(host::kMaxFileSize, 'x');
  Put(text);
  EXPECT_TRUE(setup_u::LoadSettings(file_));
  EXPECT_EQ(setup_u::PreKey, 66);
  Put(text + "x");
  EXPECT_FALSE(setup_u::LoadSettings(file_));
  EXPECT_TRUE(HasDefaults());
  EXPECT_GT(fs::file_size(file_), host::kMaxFileSize);  // not written back either
  EXPECT_TRUE(setup_u::SaveSettings(file_));
  EXPECT_EQ(ReadWholeFile(file_),
            "[Setup]\r\nCtrlAltShiftByte=0\r\nPreKey=123\r\nb_laavir_makash_le_windows=1\r\n");
}

// A folder a standard user may not write must not cost the hotkey: the load keeps what it read.
TEST_F(Settings, AFileThatCannotBeWrittenCostsOnlyTheWriteWhenLoadingAndRaisesWhenSaving) {
  const std::string text = "[Setup]\nCtrlAltShiftByte=7\nPreKey=65\nb_laavir_makash_le_windows=0\n";
  Put(text);
  const std::string trace = (dir_ / "trace.txt").string();
  const host::Trace tracing(trace, "test");
  EXPECT_EQ(till_testing::WhileRestricted(
                file_, FileAccess::kReadOnly, false,
                [&] {
                  till_testing::Checks checks;
                  setup_u::PreKey = 66;
                  checks.Expect(setup_u::LoadSettings(file_), "the load succeeds");
                  checks.Expect(setup_u::CtrlAltShiftByte == 0 && setup_u::PreKey == 65 &&
                                    !setup_u::b_laavir_makash_le_windows,
                                "the values read, clamped");
                  try {
                    setup_u::SaveSettings(file_);
                    checks.Expect(false, "the save raises");
                  } catch (const host::EInOutError&) {
                  }
                  setup_u::PreKey = 66;
                  checks.Expect(setup_u::LoadSettings((dir_ / "NEW.INI").string()) && HasDefaults(),
                                "a missing file gives the defaults");
                  return checks.Result();
                }),
            0);
  EXPECT_EQ(ReadWholeFile(file_), text);
  EXPECT_NE(ReadWholeFile(trace).find("settings: cannot write " + file_ + ": "), std::string::npos)
      << ReadWholeFile(trace);
}

}  // namespace
