// The setup dialog as the system shows it: its windows read back through the system (texts,
// places, reading order, fonts, tab order), a key sent with SendInput captured in the field, and
// the save button writing the file. Real time: the steps run on a real timer while the dialog is
// modal, and every wait is bounded.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "apps/tillkey/TillkeyForms.h"
#include "host/Application.h"
#include "host/win32/NativeText.h"
#include "hotkey/setup_u.h"
#include "tests/KeyboardInput.h"
#include "tests/TestFolder.h"
#include "tests/apps/WhileDialogOpen.h"

namespace {

using till_testing::KeyInput;

using host::win32::WindowText;
using setup_u::SetupForm;

using Step = till_testing::WhileDialogOpen::Step;

// Where a child window stands within its parent's client area.
RECT ClientBounds(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

LONG_PTR ExStyle(HWND wnd) {
  return GetWindowLongPtrW(wnd, GWL_EXSTYLE);
}

// The radio items: the form's BUTTON children with the radio style, in the system's order.
std::vector<HWND> RadioItems(HWND form) {
  std::vector<HWND> items;
  for (HWND child = GetWindow(form, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
      items.push_back(child);
    }
  }
  return items;
}

class SetupDialogWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(mainForm_);
    file_ = (folder_ / "ROVUDIZ.INI").string();
  }
  void TearDown() override {
    if (sender_.joinable()) sender_.join();
    app_.reset();
    setup_u::SetDefaultSettings();
  }
  void Open(std::vector<Step> steps) {
    till_testing::WhileDialogOpen acting(std::move(steps));
    setup_u::ShowSetupDialog(file_);
    EXPECT_TRUE(acting.AllDone());
  }

  till_testing::TestFolder folder_{"till-setup-win32-"};
  std::string file_;
  std::unique_ptr<host::TApplication> app_;
  tillkey::TMainForm* mainForm_ = nullptr;
  std::thread sender_;
};

TEST_F(SetupDialogWin32, TheSystemShowsTheLayoutTextsAndReadingOrder) {
  Open({[&] {
    const HWND form = SetupForm->Handle();
    EXPECT_EQ(WindowText(form),
              "\u05de\u05e7\u05e9 \u05e4\u05ea\u05d9\u05d7\u05ea \u05de\u05d2\u05d9\u05e8\u05d4");
    RECT frame;
    GetWindowRect(form, &frame);
    EXPECT_EQ(Describe(frame), "238,88 521x270");
    EXPECT_NE(ExStyle(form) & WS_EX_RTLREADING, 0);
    EXPECT_EQ(ExStyle(form) & WS_EX_LAYOUTRTL, 0) << "right to left, but not mirrored";

    const struct {
      host::TControl* control;
      const char* text;
      const char* bounds;
      bool alignedRight;
    } rows[] = {
        {SetupForm->Label1, "+", "305,47 20x29", true},
        {SetupForm->Label2, "\u05de\u05e7\u05e9 \u05d4\u05ea\u05d7\u05dc\u05d4:", "220,55 72x13",
         true},
        {SetupForm->btnClose, "\u05e9\u05de\u05d9\u05e8\u05d4 + \u05d9\u05e6\u05d9\u05d0\u05d4 ",
         "72,167 113x25", false},
        {SetupForm->RadioGroup1, "", "344,16 89x105", true},
        {SetupForm->Edit1, "123", "136,52 54x21", true},
        {SetupForm->btnSetDefault,
         "\u05d4\u05d2\u05d3\u05e8\u05d5\u05ea \u05d1\u05e8\u05d9\u05e8\u05ea "
         "\u05de\u05d7\u05d3\u05dc",
         "305,167 145x25", false},
        {SetupForm->cbLaavirMakashLeWindows,
         "\u05dc\u05d4\u05e2\u05d1\u05d9\u05e8 \u05de\u05e7\u05e9 \u05dcWindows", "272,128 153x25",
         true},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(row.control->Name());
      const HWND wnd = row.control->Handle();
      if (wnd == nullptr) {
        ADD_FAILURE() << "no window";
        continue;
      }
      EXPECT_EQ(GetParent(wnd), form);
      EXPECT_EQ(WindowText(wnd), row.text);
      EXPECT_EQ(Describe(ClientBounds(wnd)), row.bounds);
      EXPECT_NE(ExStyle(wnd) & WS_EX_RTLREADING, 0);
      EXPECT_EQ((ExStyle(wnd) & WS_EX_RIGHT) != 0, row.alignedRight);
    }
    EXPECT_NE(GetWindowLongPtrW(SetupForm->Edit1->Handle(), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_NE(
        GetWindowLongPtrW(SetupForm->cbLaavirMakashLeWindows->Handle(), GWL_STYLE) & BS_MULTILINE,
        0);

    // The items inside the frame, one below the other, the selected one checked.
    const std::vector<HWND> items = RadioItems(form);
    const std::vector<std::string> texts = {"\u05de\u05e7\u05e9 Ctrl ", "\u05de\u05e7\u05e9 Alt ",
                                            "\u05de\u05e7\u05e9 Shift", "none"};
    EXPECT_EQ(items.size(), texts.size());
    const RECT frameRect = ClientBounds(SetupForm->RadioGroup1->Handle());
    for (std::size_t i = 0; i < items.size() && i < texts.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(WindowText(items[i]), texts[i]);
      const RECT r = ClientBounds(items[i]);
      EXPECT_TRUE(r.left >= frameRect.left && r.right <= frameRect.right &&
                  r.top >= frameRect.top && r.bottom <= frameRect.bottom)
          << Describe(r);
      if (i > 0) {
        EXPECT_GE(r.top, ClientBounds(items[i - 1]).bottom);
      }
      EXPECT_EQ(SendMessageW(items[i], BM_GETCHECK, 0, 0), i == 0 ? BST_CHECKED : BST_UNCHECKED);
    }

    // Fonts: the form's for most, Tahoma bold for the two labels.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(SetupForm->Label1->Handle(), WM_GETFONT, 0, 0)),
               sizeof(font), &font);
    EXPECT_EQ(host::win32::Narrow(font.lfFaceName), "Tahoma");
    EXPECT_EQ(font.lfHeight, -24);
    EXPECT_EQ(font.lfWeight, FW_BOLD);

    // The focus starts on the save button; Tab walks the controls in the tab order, through the
    // selected radio item.
    EXPECT_EQ(GetFocus(), SetupForm->btnClose->Handle());
    std::vector<HWND> walk;
    HWND at = SetupForm->btnClose->Handle();
    for (int i = 0; i < 5 && at != nullptr; ++i) {
      at = GetNextDlgTabItem(form, at, FALSE);
      walk.push_back(at);
    }
    const HWND selectedItem = items.empty() ? nullptr : items[0];
    EXPECT_EQ(walk,
              (std::vector<HWND>{
                  selectedItem, SetupForm->Edit1->Handle(), SetupForm->btnSetDefault->Handle(),
                  SetupForm->cbLaavirMakashLeWindows->Handle(), SetupForm->btnClose->Handle()}));
    return true;
  }});
}

TEST_F(SetupDialogWin32, AKeySentToTheFieldIsCapturedAndTheSaveButtonWritesTheFile) {
  mainForm_->KeyboardHook = std::make_unique<hooks::TLowLevelKeyboardHook>();
  mainForm_->KeyboardHook->OnPreExecute =
      hooks::THookNotify::Of<&tillkey::TMainForm::HookPreExecute>(mainForm_);
  mainForm_->KeyboardHook->SetActive(true);
  ASSERT_TRUE(mainForm_->KeyboardHook->Active());

  Open({[&] {
          SetupForm->Edit1->SetFocus();
          return GetFocus() == SetupForm->Edit1->Handle();
        },
        [&] {
          // From another thread, as input comes from outside the hook's thread.
          sender_ = std::thread([] {
            INPUT keys[] = {KeyInput(VK_F5, false), KeyInput(VK_F5, true)};
            SendInput(2, keys, sizeof(INPUT));
          });
          return true;
        },
        [&] { return WindowText(SetupForm->Edit1->Handle()) == "116"; },
        [&] {
          // The person's clicks, through the controls' own windows.
          SendMessageW(RadioItems(SetupForm->Handle()).at(2), BM_CLICK, 0, 0);
          SendMessageW(SetupForm->cbLaavirMakashLeWindows->Handle(), BM_CLICK, 0, 0);
          EXPECT_EQ(SetupForm->RadioGroup1->ItemIndex(), 2);
          EXPECT_FALSE(SetupForm->cbLaavirMakashLeWindows->Checked());  // the defaults had it
          SendMessageW(SetupForm->btnClose->Handle(), BM_CLICK, 0, 0);
          return true;
        }});
  EXPECT_EQ(setup_u::CtrlAltShiftByte, 2);
  EXPECT_EQ(setup_u::PreKey, 116);
  EXPECT_FALSE(setup_u::b_laavir_makash_le_windows);
  EXPECT_EQ(till_testing::ReadWholeFile(file_),
            "[Setup]\r\nCtrlAltShiftByte=2\r\nPreKey=116\r\nb_laavir_makash_le_windows=0\r\n");
}

}  // namespace
