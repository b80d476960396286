// The notification-area icon on the portable backend: the shell's record and calls, the mouse
// notifications turned into events on the virtual clock, the popup menu, and hiding to the tray.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/Application.h"
#include "host/Icons.h"
#include "host/Menus.h"
#include "host/Messages.h"
#include "host/Shell.h"
#include "host/Trace.h"
#include "host/portable/Clock.h"
#include "host/portable/IconHandles.h"
#include "host/portable/PopupMenus.h"
#include "host/portable/ShellModel.h"
#include "host/portable/Windows.h"
#include "tests/Pump.h"
#include "tray/TrayIcon.h"

namespace {

namespace portable = host::portable;
using host::TNotifyEvent;
using Log = std::vector<std::string>;
using TrayIcon::TTrayIcon;

// The main form, with its icon and the icon's menu: "Open" (the default item), a line, "Quit".
struct OwnerForm : host::TForm {
  explicit OwnerForm(host::TComponent* owner) : host::TForm(owner) {
    Menu = new host::TPopupMenu(this);
    for (const char* caption : {"Open", "-", "Quit"}) {
      auto* item = new host::TMenuItem(this);
      item->SetCaption(caption);
      item->OnClick = TNotifyEvent::Of<&OwnerForm::ItemClick>(this);
      Menu->Items()->Add(item);
    }
    Menu->Items()->Items(0)->SetDefault(true);
    Menu->OnPopup = TNotifyEvent::Of<&OwnerForm::Popup>(this);
    Tray = NewIcon();
  }
  // An icon of this form with every event logged.
  TTrayIcon* NewIcon() {
    auto* icon = new TTrayIcon(this);
    icon->SetPopupMenu(Menu);
    icon->OnClick = TNotifyEvent::Of<&OwnerForm::Click>(this);
    icon->OnMouseDown = host::TMouseEvent::Of<&OwnerForm::Down>(this);
    icon->OnMouseUp = host::TMouseEvent::Of<&OwnerForm::Up>(this);
    icon->OnMouseMove = host::TMouseMoveEvent::Of<&OwnerForm::Move>(this);
    icon->OnMouseEnter = TNotifyEvent::Of<&OwnerForm::Enter>(this);
    icon->OnMouseExit = TNotifyEvent::Of<&OwnerForm::Exit>(this);
    icon->OnCycle = TrayIcon::TCycleEvent::Of<&OwnerForm::Cycle>(this);
    icon->OnBalloonHintShow = TNotifyEvent::Of<&OwnerForm::Balloon>(this);
    icon->OnBalloonHintClick = TNotifyEvent::Of<&OwnerForm::Balloon>(this);
    return icon;
  }
  void ItemClick(TObject* sender) {
    log.push_back("item " + static_cast<host::TMenuItem*>(sender)->Caption());
  }
  void Click(TObject*) { log.push_back("click"); }
  void Popup(TObject*) { log.push_back("popup"); }
  void DblClick(TObject*) { log.push_back("dblclick"); }
  void Down(TObject*, host::TMouseButton b, host::TShiftState s, int x, int y) {
    log.push_back("down " + Mouse(b, s, x, y));
  }
  void Up(TObject*, host::TMouseButton b, host::TShiftState s, int x, int y) {
    log.push_back("up " + Mouse(b, s, x, y));
  }
  void Move(TObject*, host::TShiftState s, int x, int y) {
    log.push_back("move " + std::to_string(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void Enter(TObject*) { log.push_back("enter"); }
  void Exit(TObject*) { log.push_back("exit"); }
  void Cycle(TObject*, int next) {
    log.push_back("cycle " + std::to_string(Tray->IconIndex()) + "->" + std::to_string(next));
  }
  void Balloon(TObject* sender) {
    log.push_back(sender == TrayIcon::TrayHandler.get() ? "balloon from handler" : "balloon");
  }
  void ToTray(TObject*) { log.push_back("to tray"); }
  void Startup(TObject*, bool& showMainForm) {
    log.push_back("startup");
    showMainForm = false;
  }
  static std::string Mouse(host::TMouseButton b, host::TShiftState s, int x, int y) {
    return std::to_string(b) + " " + std::to_string(s) + " " + std::to_string(x) + "," +
           std::to_string(y);
  }

  host::TPopupMenu* Menu = nullptr;
  TTrayIcon* Tray = nullptr;
  Log log;
};

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    portable::UseVirtualClock();
    Reset();
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(form_);
    tray_ = form_->Tray;
  }
  void TearDown() override {
    app_.reset();
    EXPECT_EQ(TrayIcon::TrayHandler, nullptr) << "the shared window outlived its icons";
    EXPECT_TRUE(portable::TrayIcons().empty()) << "an icon was left in the tray";
    EXPECT_EQ(portable::LiveIconCount(), 0u);
    Reset();
    portable::UseRealClock();
  }
  static void Reset() {
    portable::ResetShell();
    portable::TakeShownPopups();
    portable::ChoosePopupItem("");
  }
  // The shell tells the (first) icon about a mouse event, and the loop delivers it.
  void Notify(UINT event) {
    ASSERT_TRUE(portable::NotifyTrayIcon(0, event));
    app_->ProcessMessages();
  }
  Log TakeLog() { return std::exchange(form_->log, {}); }
  const portable::ShellCall& LastCall() {
    calls_ = portable::TakeShellCalls();
    EXPECT_FALSE(calls_.empty());
    return calls_.back();
  }
  std::vector<DWORD> CallMessages() {
    std::vector<DWORD> messages;
    for (const portable::ShellCall& call : portable::TakeShellCalls()) {
      messages.push_back(call.message);
    }
    return messages;
  }

  std::unique_ptr<host::TApplication> app_;
  OwnerForm* form_ = nullptr;
  TTrayIcon* tray_ = nullptr;
  std::vector<portable::ShellCall> calls_;
};

TEST_F(Tray, TheShellGetsThePlatformsRecordWithADistinctIdentityPerIcon) {
  tray_->SetIconVisible(true);
  const portable::ShellCall& add = LastCall();
  EXPECT_EQ(add.message, NIM_ADD);
  EXPECT_TRUE(add.result);
  EXPECT_EQ(add.data.cbSize, NOTIFYICONDATAA_V2_SIZE);
  EXPECT_EQ(add.data.hWnd, TrayIcon::TrayHandler->TrayWindow());
  EXPECT_EQ(add.data.uFlags, 7u);
  EXPECT_EQ(add.data.uCallbackMessage, 0x800u);
  EXPECT_EQ(add.data.uID, tray_->IconIdentity());

  auto* second = new TTrayIcon(form_);
  second->SetIconVisible(true);
  EXPECT_NE(second->IconIdentity(), tray_->IconIdentity());
  EXPECT_EQ(second->NotifyData().hWnd, tray_->NotifyData().hWnd);
  EXPECT_EQ(TrayIcon::TrayHandler->TrayUsers(), 2u);
  ASSERT_EQ(portable::TrayIcons().size(), 2u);
  delete second;  // its icon goes with it
  ASSERT_EQ(portable::TrayIcons().size(), 1u);
  EXPECT_EQ(portable::TrayIcons()[0].uID, tray_->IconIdentity());

  // A failed call changes nothing of what was asked for.
  portable::FailShellCalls(true);
  EXPECT_FALSE(tray_->DeleteIcon());
  EXPECT_FALSE(tray_->IconVisible());
  portable::FailShellCalls(false);
}

TEST_F(Tray, TheHintShowsItsFirst127CharactersAndNothingWhenEmptyOrNotShown) {
  struct Case {
    std::string hint;
    bool showHint;
    std::string tip;
  };
  const std::string longHint(200, 'h');
  for (const Case& c : {Case{longHint, true, longHint.substr(0, 127)}, Case{"till", true, "till"},
                        Case{"till", false, ""}, Case{"", true, ""}}) {
    tray_->SetHint(longHint);  // bytes left behind by a longer tip must not show
    tray_->SetShowHint(c.showHint);
    tray_->SetHint(c.hint);
    char expected[128] = {};
    std::memcpy(expected, c.tip.data(), c.tip.size());
    const portable::ShellCall& modify = LastCall();
    EXPECT_EQ(modify.message, NIM_MODIFY);
    EXPECT_EQ(std::memcmp(modify.data.szTip, expected, sizeof expected), 0)
        << c.hint.size() << " characters, shown " << c.showHint;
  }
}

TEST_F(Tray, TheOwnIconIsTheShellsPictureAndOneThatCannotBeReadGivesNone) {
  host::TIcon program;
  program.LoadFromResourceName(host::kProgramIconName);
  tray_->SetIcon(program);
  const portable::ShellCall& modify = LastCall();
  EXPECT_EQ(calls_.size(), 1u) << "the copy itself must not update the icon";
  EXPECT_NE(modify.data.hIcon, nullptr);

  tray_->Icon().LoadFromResourceName("NO_SUCH_ICON");  // a change of its own icon updates
  EXPECT_EQ(LastCall().data.hIcon, nullptr);
}

// What the mouse does to a fresh icon set up with `flags`: each step a notification, a stretch of
// time (negative: that many milliseconds), or kMark (a "|" in the log).
enum Setup : unsigned { kPlain = 0, kDblHandler = 1, kLeftPopup = 2, kNoAutoPopup = 4, kOff = 8 };
constexpr int kMark = 0;
struct Sequence {
  const char* what;
  unsigned flags;
  std::vector<int> steps;
  Log log;
};

TEST_F(Tray, MouseSequencesGiveTheirEventsClicksAndMenus) {
  const int kDown = WM_LBUTTONDOWN, kUp = WM_LBUTTONUP, kDbl = WM_LBUTTONDBLCLK;
  const int kRDown = WM_RBUTTONDOWN, kRUp = WM_RBUTTONUP;
  const std::string down = "down 0 8 0,0", up = "up 0 8 0,0";
  const Sequence sequences[] = {
      {"without a double-click handler a click fires on the release",
       kPlain,
       {kDown, kUp},
       {down, "click", up}},
      {"with one it waits the double-click time from the press",
       kDblHandler,
       {kDown, kUp, -499, kMark, -1},
       {down, up, "|", "click"}},
      {"a double click with a handler is no click",
       kDblHandler,
       {kDown, kUp, kDbl, kUp, -1000},
       {down, up, "dblclick", "item Open", up}},
      {"nor when it comes between the press and the release",
       kDblHandler,
       {kDown, kDbl, kUp, -1000},
       {down, "dblclick", "item Open", up}},
      {"a release without a press after a decided click",
       kDblHandler,
       {kDown, kUp, -1000, kUp, -1000},
       {down, up, "click", up}},
      {"a double click without a handler: one click and the default item",
       kPlain,
       {kDown, kUp, kDbl, kUp},
       {down, "click", up, "item Open", up}},
      {"no default item when the left button shows the menu", kLeftPopup, {kDbl}, {}},
      {"nor when the menu does not pop up by itself", kNoAutoPopup, {kDbl}, {}},
      {"the right button shows the menu",
       kPlain,
       {kRDown, kRUp},
       {"down 1 16 0,0", "popup", "up 1 16 0,0"}},
      {"the left and middle ones do not",
       kPlain,
       {kDown, WM_MBUTTONDOWN, WM_MBUTTONUP},
       {down, "down 2 32 0,0", "up 2 32 0,0"}},
      {"the left one does with LeftPopup", kLeftPopup, {kDown}, {down, "popup"}},
      {"none does when the menu does not pop up by itself",
       kLeftPopup | kNoAutoPopup,
       {kRDown, kDown},
       {"down 1 16 0,0", down}},
      {"disabled, the mouse is ignored but balloons come, from the handler",
       kOff,
       {WM_MOUSEMOVE, kDown, kUp, kRDown, kDbl, NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK},
       {"balloon from handler", "balloon from handler"}},
      {"other notifications mean nothing", kPlain, {WM_CONTEXTMENU, NIN_SELECT, NIN_KEYSELECT}, {}},
  };
  for (const Sequence& sequence : sequences) {
    TTrayIcon* icon = form_->NewIcon();
    icon->SetIconVisible(true);
    if (sequence.flags & kDblHandler)
      icon->OnDblClick = TNotifyEvent::Of<&OwnerForm::DblClick>(form_);
    icon->SetLeftPopup((sequence.flags & kLeftPopup) != 0);
    icon->SetEnabled((sequence.flags & kOff) == 0);
    form_->Menu->SetAutoPopup((sequence.flags & kNoAutoPopup) == 0);
    for (int step : sequence.steps) {
      if (step < 0) {
        till_testing::RunFor(*app_, static_cast<unsigned>(-step));
      } else if (step == kMark) {
        form_->log.push_back("|");
      } else {
        Notify(static_cast<UINT>(step));
      }
    }
    EXPECT_EQ(TakeLog(), sequence.log) << sequence.what;
    delete icon;
  }
}

TEST_F(Tray, TheMenuComesAtThePointerWithTheTrayWindowInFrontAndKeysAreReadAtEachNotification) {
  tray_->SetIconVisible(true);
  portable::SetCursor(300, 20);
  portable::SetKeyDown(VK_SHIFT, true);
  portable::SetKeyDown(VK_CONTROL, true);
  portable::TakeForegroundRequests();
  portable::ChoosePopupItem("Quit");
  Notify(WM_RBUTTONDOWN);
  portable::SetKeyDown(VK_SHIFT, false);
  Notify(WM_RBUTTONUP);
  EXPECT_EQ(TakeLog(), (Log{"down 1 21 300,20", "popup", "item Quit", "up 1 20 300,20"}));
  const std::vector<portable::ShownPopup> shown = portable::TakeShownPopups();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].x, 300);
  EXPECT_EQ(shown[0].y, 20);
  EXPECT_EQ(shown[0].captions, (std::vector<std::string>{"Open", "-", "Quit"}));
  EXPECT_EQ(form_->Menu->PopupComponent(), tray_);
  // The tray window comes to the foreground first, or the menu would not close again.
  const std::vector<HWND> foreground = portable::TakeForegroundRequests();
  ASSERT_FALSE(foreground.empty());
  EXPECT_EQ(foreground[0], TrayIcon::TrayHandler->TrayWindow());

  // No position, no menu.
  portable::FailCursorReads(true);
  tray_->PopupAtCursor();
  EXPECT_TRUE(portable::TakeShownPopups().empty());
}

TEST_F(Tray, ThePointerEntersOnAMoveAndLeavesWhenItIsSeenElsewhere) {
  tray_->SetIconVisible(true);
  tray_->SetWantEnterExitEvents(true);
  portable::SetCursor(10, 10);
  Notify(WM_MOUSEMOVE);
  Notify(WM_MOUSEMOVE);
  till_testing::RunFor(*app_, 100);  // the pointer stays
  EXPECT_EQ(TakeLog(), (Log{"enter", "move 0 10,10", "move 0 10,10"}));
  portable::SetCursor(11, 10);
  till_testing::RunFor(*app_, 20);
  till_testing::RunFor(*app_, 100);
  EXPECT_EQ(TakeLog(), (Log{"exit"}));
  Notify(WM_MOUSEMOVE);
  EXPECT_EQ(TakeLog(), (Log{"enter", "move 0 11,10"}));
}

TEST_F(Tray, TheIconIndexStaysInTheListAndCyclingWalksItRound) {
  tray_->SetIconIndex(5);
  EXPECT_EQ(tray_->IconIndex(), 0) << "without a list";

  auto* list = new host::TCustomImageList(form_);
  host::TIcon picture;
  picture.LoadFromResourceName(host::kProgramIconName);
  for (int i = 0; i < 3; ++i) list->AddIcon(picture);
  tray_->SetIconList(list);
  tray_->SetIconIndex(7);
  EXPECT_EQ(tray_->IconIndex(), 2);

  tray_->SetCycleIcons(true);  // CycleInterval 0: no cycling
  till_testing::RunFor(*app_, 2000);
  EXPECT_EQ(TakeLog(), Log{});
  tray_->SetCycleInterval(100);
  till_testing::RunFor(*app_, 450);
  EXPECT_EQ(TakeLog(), (Log{"cycle 0->1", "cycle 1->2", "cycle 2->0", "cycle 0->1"}));

  delete list;  // the icon lets go of it
  EXPECT_EQ(tray_->IconList(), nullptr);
  EXPECT_EQ(tray_->IconIndex(), 0);
  till_testing::RunFor(*app_, 300);
  EXPECT_EQ(TakeLog(), Log{});
}

TEST_F(Tray, ANewTaskbarGetsTheIconBackOnlyWhenItIsVisible) {
  // The message is asked for whenever the shared window is made; an old shell's lack is traced.
  Log traced;
  const host::Trace trace(
      [&traced](double, std::string_view, std::string_view text) { traced.emplace_back(text); });
  delete tray_;  // the shared window goes with the last icon
  portable::SetComCtlVersion(0x40046);
  delete form_->NewIcon();
  EXPECT_EQ(TrayIcon::TaskbarCreatedMsg, 0u);
  EXPECT_EQ(traced, Log{"no TaskbarCreated: common controls version 4.70, 4.71 needed"});
  portable::SetComCtlVersion(0x40047);
  tray_ = form_->Tray = form_->NewIcon();
  ASSERT_NE(TrayIcon::TaskbarCreatedMsg, 0u);
  tray_->SetIconVisible(true);
  portable::RecreateTaskbar();
  app_->ProcessMessages();
  ASSERT_EQ(portable::TrayIcons().size(), 1u);
  EXPECT_EQ(portable::TrayIcons()[0].uID, tray_->IconIdentity());

  tray_->SetIconVisible(false);
  portable::RecreateTaskbar();
  app_->ProcessMessages();
  EXPECT_TRUE(portable::TrayIcons().empty());
}

TEST_F(Tray, MinimizingTheApplicationHidesTheFormAndTheTaskbarButtonAndShowsTheIcon) {
  form_->Show();
  ASSERT_TRUE(host::IsWindowVisible(app_->Handle())) << "the main form brings the button";
  tray_->SetMinimizeToTray(true);
  app_->Minimize();
  EXPECT_FALSE(form_->Visible());
  EXPECT_FALSE(host::IsWindowVisible(app_->Handle()));
  EXPECT_EQ(portable::TrayIcons().size(), 1u);

  tray_->RestoreMainForm();
  EXPECT_FALSE(app_->Minimized());
  EXPECT_TRUE(form_->Visible());
  EXPECT_TRUE(host::IsWindowVisible(app_->Handle()));
}

TEST_F(Tray, TheApplicationWindowsHookRestoresTheFormAndChecksTheStartupOfAParentFormOnce) {
  tray_->OnStartup = TrayIcon::TStartupEvent::Of<&OwnerForm::Startup>(form_);
  host::SendMessageTo(app_->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(form_->Visible());
  form_->Hide();
  form_->SetWindowState(host::TWindowState::wsMinimized);
  host::SendMessageTo(app_->Handle(), WM_SYSCOMMAND, SC_RESTORE + 1, 0);
  EXPECT_FALSE(form_->Visible()) << "only SC_RESTORE itself";
  host::SendMessageTo(app_->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(form_->Visible());
  EXPECT_EQ(form_->WindowState(), host::TWindowState::wsNormal);
  EXPECT_EQ(TakeLog(), Log{}) << "the check was spent on an ordinary form";

  // A multiple-document parent asks once, at the application window's first move or showing.
  app_.reset();
  app_ = std::make_unique<host::TApplication>();
  app_->CreateForm(form_);
  tray_ = form_->Tray;
  tray_->OnStartup = TrayIcon::TStartupEvent::Of<&OwnerForm::Startup>(form_);
  form_->SetFormStyle(host::TFormStyle::fsMDIForm);
  tray_->ShowTaskbarIcon();
  EXPECT_EQ(TakeLog(), (Log{"startup"}));
  EXPECT_FALSE(host::IsWindowVisible(app_->Handle()));
  tray_->ShowTaskbarIcon();
  EXPECT_EQ(TakeLog(), Log{});
  EXPECT_TRUE(host::IsWindowVisible(app_->Handle()));
}

TEST_F(Tray, TheSharedWindowRefusesToCloseOrEndTheSession) {
  const HWND wnd = TrayIcon::TrayHandler->TrayWindow();
  for (UINT msg : {WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_DESTROY, WM_NCDESTROY}) {
    EXPECT_EQ(host::SendMessageTo(wnd, msg, 0, 0), 1) << msg;
  }
  EXPECT_EQ(host::SendMessageTo(wnd, WM_USER, 0, 0), 0);
  EXPECT_EQ(host::SendMessageTo(wnd, TrayIcon::TrayCallbackMessage, tray_->IconIdentity() + 9,
                                WM_LBUTTONUP),
            0)
      << "no such icon";
  EXPECT_EQ(TakeLog(), Log{});
}

TEST_F(Tray, LoadingAsksOnStartupAndAddsTheIconAgainThenSetsTheVersion) {
  portable::TakeShellCalls();
  form_->BeginLoading();
  tray_->OnStartup = TrayIcon::TStartupEvent::Of<&OwnerForm::Startup>(form_);
  tray_->SetIconVisible(true);
  form_->EndLoading();
  EXPECT_EQ(TakeLog(), (Log{"startup"}));
  EXPECT_FALSE(app_->ShowMainForm);
  EXPECT_EQ(CallMessages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_SETVERSION}));
  EXPECT_EQ(portable::TrayIcons().size(), 1u);
}

TEST_F(Tray, AMinimizeCommandToTheFormGoesToTheTrayOnlyWithAHandler) {
  const HWND wnd = form_->Handle();
  ASSERT_NE(wnd, nullptr);
  form_->Show();
  tray_->SetMinimizeToTray(true);
  EXPECT_EQ(host::SendMessageTo(wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
  EXPECT_TRUE(form_->Visible());
  EXPECT_TRUE(portable::TrayIcons().empty());

  tray_->OnMinimizeToTray = TNotifyEvent::Of<&OwnerForm::ToTray>(form_);
  EXPECT_EQ(host::SendMessageTo(wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
  EXPECT_EQ(TakeLog(), (Log{"to tray"}));
  EXPECT_FALSE(form_->Visible());
  EXPECT_EQ(portable::TrayIcons().size(), 1u);

  // Gone, the icon gives the form its own procedure back.
  const WNDPROC subclassed = portable::WindowProcOf(wnd);
  delete tray_;
  EXPECT_NE(portable::WindowProcOf(wnd), subclassed);
  EXPECT_EQ(host::SendMessageTo(wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
  EXPECT_EQ(TakeLog(), Log{});
}

}  // namespace
