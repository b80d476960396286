// The setup dialog on the portable backend, opened modally as the tray menu opens it: what it
// shows, what each way of leaving it does to memory and to the file, and capturing a key through
// tillkey's keyboard hook.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/tillkey/TillkeyForms.h"
#include "host/Application.h"
#include "host/portable/Clock.h"
#include "host/portable/KeyInput.h"
#include "host/portable/MessageBoxes.h"
#include "hotkey/setup_u.h"
#include "tests/Restricted.h"
#include "tests/TestFolder.h"
#include "tests/apps/WhileDialogOpen.h"

namespace {

using setup_u::SetupForm;
using till_testing::ReadWholeFile;

struct Settings {
  std::int32_t modifier;
  std::int32_t key;
  bool passOn;
  friend bool operator==(const Settings&, const Settings&) = default;
};

Settings InMemory() {
  return {setup_u::CtrlAltShiftByte, setup_u::PreKey, setup_u::b_laavir_makash_le_windows};
}

Settings Shown() {
  return {SetupForm->RadioGroup1->ItemIndex(), std::stoi(SetupForm->Edit1->Text()),
          SetupForm->cbLaavirMakashLeWindows->Checked()};
}

class SetupDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(mainForm_);
    file_ = (folder_ / "ROVUDIZ.INI").string();
  }
  void TearDown() override {
    app_.reset();
    host::portable::TakeKeyOutcomes();
    host::portable::TakeShownMessageBoxes();
    setup_u::SetDefaultSettings();
    host::portable::UseRealClock();
  }
  void Put(const std::string& text) const { till_testing::WriteWholeFile(file_, text); }
  // Opens the dialog on the test's file and acts on it, one step per tick; returns once it has
  // closed.
  void Open(const std::vector<std::function<void()>>& steps) {
    std::vector<till_testing::WhileDialogOpen::Step> done;
    for (const auto& step : steps) {
      done.emplace_back([step] {
        step();
        return true;
      });
    }
    till_testing::WhileDialogOpen acting(std::move(done));
    setup_u::ShowSetupDialog(file_);
    EXPECT_TRUE(acting.AllDone());
    EXPECT_EQ(SetupForm, nullptr);
  }

  till_testing::TestFolder folder_{"till-setup-dialog-"};
  std::string file_;
  std::unique_ptr<host::TApplication> app_;
  tillkey::TMainForm* mainForm_ = nullptr;
};

// As the ini writer writes it (CRLF lines), so that loading, which writes the file back, leaves
// it byte for byte as it was.
constexpr const char* kStored =
    "; the till's own notes\r\n[Setup]\r\nCtrlAltShiftByte=2\r\nPreKey=116\r\n"
    "b_laavir_makash_le_windows=0\r\n[Other]\r\nKept=yes\r\n";

TEST_F(SetupDialog, OpensWithTheStoredSettingsAndIsFreedOnClose) {
  Put(kStored);
  const int before = app_->ComponentCount();
  Settings shown{};
  bool modalWhileOpen = false;
  Open({[&] {
    shown = Shown();
    modalWhileOpen = SetupForm->Modal() && SetupForm->Visible();
    EXPECT_EQ(app_->ComponentCount(), before + 1);  // owned by the application
  }});
  EXPECT_EQ(shown, (Settings{2, 116, false}));
  EXPECT_TRUE(modalWhileOpen);
  EXPECT_EQ(app_->ComponentCount(), before);
}

TEST_F(SetupDialog, ASecondRequestWhileOpenKeepsTheOneDialog) {
  Put(kStored);
  setup_u::TSetupForm* first = nullptr;
  Open({[&] {
          first = SetupForm;
          setup_u::ShowSetupDialog(file_);
        },
        [&] { EXPECT_EQ(SetupForm, first); }});
  EXPECT_NE(first, nullptr);
}

TEST_F(SetupDialog, TheCloseBoxDiscardsChangesAndSetDefaultTouchesOnlyMemory) {
  Put(kStored);
  // Changed controls, closed with the close box: memory keeps what was loaded.
  Open({[&] {
    SetupForm->RadioGroup1->ItemClicked(1);
    SetupForm->Edit1->SetText("65");
    SetupForm->cbLaavirMakashLeWindows->Toggled(true);
  }});
  EXPECT_EQ(InMemory(), (Settings{2, 116, false}));
  // Set default, then the close box: the defaults stay in memory, the file is as it was.
  Settings shown{};
  Open({[&] {
    SetupForm->btnSetDefault->Click();
    shown = Shown();
  }});
  EXPECT_EQ(shown, (Settings{0, 123, true}));
  EXPECT_EQ(InMemory(), (Settings{0, 123, true}));
  EXPECT_EQ(ReadWholeFile(file_), kStored);
}

TEST_F(SetupDialog, SaveWritesTheThreeKeysKeepsTheRestAndCloses) {
  Put(kStored);
  bool stillOpenAfterSave = true;
  Open({[&] {
    SetupForm->RadioGroup1->ItemClicked(1);
    SetupForm->Edit1->SetText("65");
    SetupForm->cbLaavirMakashLeWindows->Toggled(true);
    SetupForm->btnClose->Click();
    stillOpenAfterSave = SetupForm->ModalResult() == host::mrNone;
  }});
  EXPECT_FALSE(stillOpenAfterSave);
  EXPECT_EQ(InMemory(), (Settings{1, 65, true}));
  EXPECT_EQ(ReadWholeFile(file_),
            "; the till's own notes\r\n[Setup]\r\nCtrlAltShiftByte=1\r\nPreKey=65\r\n"
            "b_laavir_makash_le_windows=1\r\n[Other]\r\nKept=yes\r\n");
  EXPECT_TRUE(host::portable::TakeShownMessageBoxes().empty());
}

TEST_F(SetupDialog, SaveTakesNoItemAsMinusOneAndAFieldThatIsNoNumberAsF12) {
  const struct {
    const char* field;
    std::int32_t key;
  } cases[] = {{"116", 116}, {"abc", 123}, {"", 123},          {"$41", 123},
               {"0", 123},   {"-7", -7},   {"4294967412", 123}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    Put(kStored);
    Open({[&] {
      SetupForm->RadioGroup1->SetItemIndex(-1);
      SetupForm->Edit1->SetText(c.field);
      SetupForm->btnClose->Click();
    }});
    EXPECT_EQ(InMemory(), (Settings{-1, c.key, false}));
    EXPECT_NE(ReadWholeFile(file_).find("CtrlAltShiftByte=-1\r\n"), std::string::npos);
  }
}

TEST_F(SetupDialog, AMissingFileIsCreatedWithTheDefaultsWhichTheDialogShows) {
  Settings shown{};
  Open({[&] { shown = Shown(); }});
  EXPECT_EQ(shown, (Settings{0, 123, true}));
  EXPECT_EQ(ReadWholeFile(file_),
            "[Setup]\r\nCtrlAltShiftByte=0\r\nPreKey=123\r\nb_laavir_makash_le_windows=1\r\n");
}

// A file the till's user may read but not write, or not even read: the dialog opens all the
// same; saving tells the person where and why, and leaves the dialog open with the values taken.
TEST_F(SetupDialog, ASaveThatFailsIsToldAndTheDialogStaysOpen) {
  for (const auto access : {till_testing::FileAccess::kReadOnly, till_testing::FileAccess::kNone}) {
    SCOPED_TRACE(static_cast<int>(access));
    Put(kStored);
    const int failures = till_testing::WhileRestricted(file_, access, false, [&] {
      till_testing::Checks checks;
      bool openAfterSave = false;
      Open({[&] {
              SetupForm->Edit1->SetText("65");
              SetupForm->btnClose->Click();
            },
            [&] { openAfterSave = SetupForm != nullptr && SetupForm->Visible(); }});
      checks.Expect(openAfterSave, "the dialog stays open after a failed save");
      checks.Expect(setup_u::PreKey == 65, "the new key code is in memory");
      const auto boxes = host::portable::TakeShownMessageBoxes();
      checks.Expect(boxes.size() == 1, "one message box");
      if (boxes.size() == 1) {
        checks.Expect(boxes[0].text.find(file_) != std::string::npos, "it names the file");
        const std::string reason = boxes[0].text.substr(boxes[0].text.rfind(": ") + 2);
#ifdef _WIN32
        checks.Expect(!reason.empty() && reason.find(file_) == std::string::npos,
                      "it gives the system's reason: " + boxes[0].text);
#else
        checks.Expect(reason == "Permission denied", "it gives the system's reason: " + boxes[0].text);
#endif
        checks.Expect(boxes[0].type == host::TMsgDlgType::mtError && boxes[0].rightToLeft,
                      "an error, right to left");
      }
      return checks.Result();
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ReadWholeFile(file_), kStored);
  }
}

// The person presses a key with the focus in the read-only field; tillkey's hook shows each
// event in the main form's Label4, and the field's key-up takes it.
TEST_F(SetupDialog, AKeyPressedInTheFieldShowsItsCode) {
  mainForm_->KeyboardHook = std::make_unique<hooks::TLowLevelKeyboardHook>();
  mainForm_->KeyboardHook->OnPreExecute =
      hooks::THookNotify::Of<&tillkey::TMainForm::HookPreExecute>(mainForm_);
  mainForm_->KeyboardHook->SetActive(true);
  Put(kStored);
  std::vector<std::string> captured;
  auto press = [&](DWORD vkCode) {
    return [&, vkCode] {
      host::portable::InjectKey({vkCode, 0, 0, 0});
      host::portable::InjectKey({vkCode, 0, LLKHF_UP, 0});
    };
  };
  auto take = [&] { captured.push_back(SetupForm->Edit1->Text()); };
  Open({[&] { SetupForm->Edit1->SetFocus(); }, press(116), take, press(163), take,
        [&] { SetupForm->btnClose->SetFocus(); }, press(65), take});
  EXPECT_EQ(captured, (std::vector<std::string>{"116", "163", "163"}));
  EXPECT_EQ(mainForm_->Label4->Caption(), "65");  // the hook saw it; the field did not have it
}

}  // namespace
