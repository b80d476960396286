// The tray icon on the real shell: Wine's own tray window on the test display, clicked with
// SendInput the way a person clicks it. Real time, every wait bounded.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Application.h"
#include "host/Menus.h"
#include "host/Timer.h"
#include "host/win32/NativeText.h"
#include "tests/Pump.h"
#include "tests/WineDesktop.h"
#include "tray/TrayIcon.h"

namespace {

using host::TNotifyEvent;
using host::TObject;
using till_testing::Centre;
using till_testing::ClickAt;
using till_testing::WineTrayIcons;
using Log = std::vector<std::string>;

struct TrayForm : host::TForm {
  explicit TrayForm(host::TComponent* owner) : host::TForm(owner) {
    Menu = new host::TPopupMenu(this);
    for (const char* caption : {"Open", "-", "Quit"}) {
      auto* item = new host::TMenuItem(this);
      item->SetCaption(caption);
      item->OnClick = TNotifyEvent::Of<&TrayForm::ItemClick>(this);
      Menu->Items()->Add(item);
    }
    Tray = new TrayIcon::TTrayIcon(this);
    host::TIcon picture;
    picture.LoadFromResourceName(host::kProgramIconName);
    Tray->SetIcon(picture);
    Tray->SetHint("till");
    Tray->SetPopupMenu(Menu);
    Tray->OnClick = TNotifyEvent::Of<&TrayForm::Click>(this);
    Tray->OnMouseDown = host::TMouseEvent::Of<&TrayForm::Down>(this);
    Tray->OnMouseMove = host::TMouseMoveEvent::Of<&TrayForm::Move>(this);
  }
  void ItemClick(TObject* sender) {
    log.push_back("item " + static_cast<host::TMenuItem*>(sender)->Caption());
  }
  void Click(TObject*) { log.push_back("click"); }
  void Down(TObject*, host::TMouseButton b, host::TShiftState, int x, int y) {
    log.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void Move(TObject*, host::TShiftState, int, int) { log.push_back("move"); }
  void ToTray(TObject*) { log.push_back("to tray"); }

  host::TPopupMenu* Menu = nullptr;
  TrayIcon::TTrayIcon* Tray = nullptr;
  Log log;
};

class TrayWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(form_);
    tray_ = form_->Tray;
  }
  void TearDown() override { app_.reset(); }

  bool Logged(const std::string& entry) {
    return till_testing::PumpUntil([&] {
      for (const std::string& e : form_->log) {
        if (e == entry) return true;
      }
      return false;
    });
  }
  // Our icon's window in Wine's tray: the one whose mouse message reaches our icon.
  HWND OurIconWindow() {
    for (HWND icon : WineTrayIcons()) {
      form_->log.clear();
      PostMessageW(icon, WM_MOUSEMOVE, 0, 0);
      if (Logged("move")) {
        form_->log.clear();
        return icon;
      }
    }
    return nullptr;
  }

  std::unique_ptr<host::TApplication> app_;
  TrayForm* form_ = nullptr;
  TrayIcon::TTrayIcon* tray_ = nullptr;
};

TEST_F(TrayWin32, TheIconAppearsInTheTrayAndALeftClickThereIsAClick) {
  const std::size_t before = WineTrayIcons().size();
  ASSERT_TRUE(tray_->AddIcon());
  EXPECT_EQ(WineTrayIcons().size(), before + 1);
  HWND icon = OurIconWindow();
  ASSERT_NE(icon, nullptr);
  const POINT at = Centre(icon);
  ClickAt(at, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  ASSERT_TRUE(Logged("click"));
  // The position is the pointer's while the notification is handled.
  EXPECT_TRUE(Logged("down 0 " + std::to_string(at.x) + "," + std::to_string(at.y)));

  ASSERT_TRUE(tray_->DeleteIcon());
  EXPECT_EQ(WineTrayIcons().size(), before);
}

// Reads the open popup menu and chooses its last item with the keyboard, from inside the menu's
// own loop.
struct MenuReader : host::TComponent {
  explicit MenuReader(host::TComponent* owner) : host::TComponent(owner), timer(this) {
    timer.SetInterval(50);
    timer.SetOnTimer(TNotifyEvent::Of<&MenuReader::Tick>(this));
  }
  void Tick(TObject*) {
    HWND menu = FindWindowW(L"#32768", nullptr);
    if (menu == nullptr || !IsWindowVisible(menu) || !items.empty()) return;
    auto native = reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
    for (int i = 0; i < GetMenuItemCount(native); ++i) {
      wchar_t text[64] = {};
      GetMenuStringW(native, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
      items.push_back(host::win32::Narrow(text));
    }
    // The first Down selects the first item; the second skips the line.
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageW(menu, WM_KEYDOWN, key, 0);
  }
  host::TTimer timer;
  std::vector<std::string> items;
};

TEST_F(TrayWin32, ARightClickThereShowsTheMenuAndTheItemChosenIsClicked) {
  ASSERT_TRUE(tray_->AddIcon());
  HWND icon = OurIconWindow();
  ASSERT_NE(icon, nullptr);
  auto* reader = new MenuReader(form_);
  ClickAt(Centre(icon), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  ASSERT_TRUE(Logged("item Quit"));
  EXPECT_EQ(reader->items, (std::vector<std::string>{"Open", "", "Quit"}));
  EXPECT_EQ(form_->Menu->PopupComponent(), tray_);
}

TEST_F(TrayWin32, ANewTaskbarGetsAVisibleIconBack) {
  ASSERT_NE(TrayIcon::TaskbarCreatedMsg, 0u) << "the common controls are 4.71 or later";
  const std::size_t before = WineTrayIcons().size();
  tray_->SetIconVisible(true);
  // The shell forgets the icon, as a restarted one has, and says the taskbar is new.
  NOTIFYICONDATAA forgotten = tray_->NotifyData();
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &forgotten));
  ASSERT_EQ(WineTrayIcons().size(), before);
  PostMessageW(app_->Handle(), TrayIcon::TaskbarCreatedMsg, 0, 0);
  EXPECT_TRUE(till_testing::PumpUntil([&] { return WineTrayIcons().size() == before + 1; }));

  tray_->SetIconVisible(false);
  PostMessageW(app_->Handle(), TrayIcon::TaskbarCreatedMsg, 0, 0);
  app_->ProcessMessages();
  EXPECT_EQ(WineTrayIcons().size(), before);
}

TEST_F(TrayWin32, TheApplicationWindowCarriesTheTitleAndOwnsTheForms) {
  app_->SetTitle(
      "\xD7\xA4\xD7\xAA\xD7\x99\xD7\x97\xD7\xAA \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94");
  HWND app = app_->Handle();
  EXPECT_EQ(host::win32::WindowText(app), app_->Title());
  EXPECT_FALSE(IsWindowVisible(app));
  form_->Show();
  EXPECT_TRUE(IsWindowVisible(app)) << "the main form brings the taskbar button";
  EXPECT_EQ(GetWindow(form_->Handle(), GW_OWNER), app);
  EXPECT_EQ(GetWindowLongPtrW(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  RECT r;
  GetWindowRect(app, &r);
  EXPECT_EQ(r.right - r.left, 0);

  tray_->HideTaskbarIcon();
  EXPECT_FALSE(IsWindowVisible(app));
  tray_->ShowTaskbarIcon();
  EXPECT_TRUE(IsWindowVisible(app));
}

TEST_F(TrayWin32, AMinimizeCommandToTheSubclassedFormHidesItToTheTray) {
  HWND form = form_->Handle();
  ASSERT_NE(form, nullptr);
  form_->Show();
  const std::size_t before = WineTrayIcons().size();
  tray_->SetMinimizeToTray(true);
  tray_->OnMinimizeToTray = TNotifyEvent::Of<&TrayForm::ToTray>(form_);
  EXPECT_EQ(SendMessageW(form, WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
  EXPECT_EQ(form_->log, Log{"to tray"});
  EXPECT_FALSE(IsWindowVisible(form));
  EXPECT_FALSE(IsWindowVisible(app_->Handle()));
  EXPECT_EQ(WineTrayIcons().size(), before + 1);

  const LONG_PTR subclassed = GetWindowLongPtrW(form, GWLP_WNDPROC);
  delete tray_;
  EXPECT_NE(GetWindowLongPtrW(form, GWLP_WNDPROC), subclassed) << "the form's own procedure back";
  EXPECT_EQ(WineTrayIcons().size(), before);
}

}  // namespace
