// tillkey's main form with its keyboard hook, keys pressed through the portable backend's hook
// chain: what reaches the window, what is asked for, and what the labels show.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "apps/tillkey/ForegroundLevel.h"
#include "apps/tillkey/TillkeyForms.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/portable/Clock.h"
#include "host/portable/KeyInput.h"
#include "hotkey/setup_u.h"

namespace {

class Tillkey : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    Reset();
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(form_);
  }
  void TearDown() override {
    app_.reset();
    host::portable::TakeKeyOutcomes();
    Reset();
    host::portable::UseRealClock();
  }
  static void Reset() {
    Main_u::CtrlDown = Main_u::AltDown = Main_u::ShiftDown = false;
    setup_u::CtrlAltShiftByte = 0;
    setup_u::PreKey = 123;
    setup_u::b_laavir_makash_le_windows = true;
    setup_u::SetupForm = nullptr;
    public_u::global_vars = public_u::T_global_vars{};
  }
  void StartHook() {
    form_->KeyboardHook = std::make_unique<hooks::TLowLevelKeyboardHook>();
    form_->KeyboardHook->OnPreExecute =
        hooks::THookNotify::Of<&tillkey::TMainForm::HookPreExecute>(form_);
    form_->KeyboardHook->SetActive(true);
  }
  // Whether the key reached the focused window.
  static bool Press(DWORD vkCode, DWORD flags = 0, DWORD scanCode = 0, WPARAM message = 0) {
    return host::portable::PressKey({vkCode, scanCode, flags, message}).ReachedWindow();
  }
  // The setup dialog captures a key from it; the other labels show what no one reads.
  std::string KeyLabel() const { return form_->Label4->Caption(); }
  std::unique_ptr<host::TApplication> app_;
  tillkey::TMainForm* form_ = nullptr;
};

TEST_F(Tillkey, CtrlF12IsSwallowedOnTheWayDownAndItsCodeShown) {
  setup_u::b_laavir_makash_le_windows = false;
  StartHook();
  EXPECT_TRUE(Press(162, 0, 29));
  EXPECT_FALSE(Press(123, 0, 88));
  EXPECT_TRUE(public_u::global_vars.OpenRequested);
  EXPECT_EQ(KeyLabel(), "123");
  EXPECT_TRUE(Press(123, LLKHF_UP, 88));
  EXPECT_TRUE(public_u::global_vars.OpenRequested);  // until the connect timer takes it
  EXPECT_TRUE(Press(162, LLKHF_UP, 29));
  EXPECT_EQ(KeyLabel(), "162");
}

TEST_F(Tillkey, EachModifierPairMovesItsOwnUnitGlobal) {
  StartHook();
  const struct {
    DWORD vkCode;
    const bool* down;
  } cases[] = {{163, &Main_u::CtrlDown}, {164, &Main_u::AltDown}, {161, &Main_u::ShiftDown}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vkCode);
    EXPECT_TRUE(Press(c.vkCode));
    EXPECT_EQ(Main_u::CtrlDown + Main_u::AltDown + Main_u::ShiftDown, 1);
    EXPECT_TRUE(*c.down);
    EXPECT_TRUE(Press(c.vkCode, LLKHF_UP));
    EXPECT_FALSE(*c.down);
  }
}

TEST_F(Tillkey, TheSettingsAndTheDialogAreReadAtEachEvent) {
  setup_u::CtrlAltShiftByte = 1;
  setup_u::PreKey = 'A';
  setup_u::b_laavir_makash_le_windows = false;
  StartHook();
  // With Alt held the system sends WM_SYSKEYDOWN; the key still counts as going down.
  EXPECT_TRUE(Press(164, 0, 56, WM_SYSKEYDOWN));
  EXPECT_FALSE(Press('A', LLKHF_ALTDOWN, 30, WM_SYSKEYDOWN));
  EXPECT_TRUE(public_u::global_vars.OpenRequested);

  public_u::global_vars.OpenRequested = false;
  int dialog = 0;  // stands in for the open dialog, which the trigger only compares with null
  setup_u::SetupForm = reinterpret_cast<setup_u::TSetupForm*>(&dialog);
  EXPECT_FALSE(Press('A', LLKHF_ALTDOWN, 30, WM_SYSKEYDOWN));
  EXPECT_FALSE(public_u::global_vars.OpenRequested);

  setup_u::SetupForm = nullptr;
  setup_u::b_laavir_makash_le_windows = true;
  EXPECT_TRUE(Press('A', LLKHF_ALTDOWN, 30, WM_SYSKEYDOWN));
  EXPECT_TRUE(public_u::global_vars.OpenRequested);
}

TEST_F(Tillkey, WithoutAKeyEventInProgressTheHandlerDecidesAndShowsNothing) {
  setup_u::CtrlAltShiftByte = 3;
  setup_u::b_laavir_makash_le_windows = false;
  hooks::THookMsg msg{HC_ACTION, WM_KEYDOWN, 0, 0};
  form_->KeyboardHook.reset();
  form_->HookPreExecute(nullptr, msg);
  form_->KeyboardHook = std::make_unique<hooks::TLowLevelKeyboardHook>();
  form_->HookPreExecute(form_->KeyboardHook.get(), msg);  // a hook, but not inside a call
  EXPECT_EQ(msg.Result, 0);
  EXPECT_FALSE(public_u::global_vars.OpenRequested);
  EXPECT_EQ(KeyLabel(), "XX");  // as it starts
}

// What Windows would answer is faked here: Wine runs every program at one level.
TEST(ForegroundLevel, OnlyAWindowWhoseKeysTheHookCannotSeeIsNoted) {
  using Level = tillkey::ProcessLevel;
  const Level low{true, 0x1000, false}, medium{true, 0x2000, false}, high{true, 0x3000, false};
  const Level unreadable{}, mediumUiAccess{true, 0x2000, true};
  const struct {
    Level own, front;
    std::string noteStart;  // empty: no note
  } cases[] = {{medium, medium, ""},
               {medium, low, ""},
               {high, medium, ""},
               {medium, high, "it runs at the high (administrator) level, tillkey at the medium"},
               {medium, unreadable, "its level cannot be read; if it runs as administrator"},
               {high, unreadable, ""},
               {mediumUiAccess, high, ""}};
  for (const auto& c : cases) {
    const std::string note = tillkey::ForegroundLevelNote(c.own, c.front);
    EXPECT_EQ(note.substr(0, c.noteStart.size()), c.noteStart) << note;
    EXPECT_EQ(note.empty(), c.noteStart.empty()) << note;
  }
}

}  // namespace
