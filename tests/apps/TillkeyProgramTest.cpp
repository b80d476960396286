// tillkey as a whole on the portable backend and the virtual clock: it starts hidden in the tray
// with its hook, opens the drawer at the tick after the hotkey, refuses every close but the tray
// menu's, and leaves neither hook nor icon behind on any way out.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "apps/tillkey/TillkeyForms.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/SharedMemory.h"
#include "host/Shell.h"
#include "host/SysUtils.h"
#include "host/SystemHook.h"
#include "host/Timer.h"
#include "host/portable/Clock.h"
#include "host/portable/KeyInput.h"
#include "host/portable/MessageBoxes.h"
#include "host/portable/PopupMenus.h"
#include "host/portable/ShellModel.h"
#include "host/portable/Windows.h"
#include "hotkey/InstanceGuard.h"
#include "hotkey/setup_u.h"
#include "platform/virtual/VirtualHid.h"
#include "tests/Pump.h"

namespace {

using till_testing::RunFor;

constexpr DWORD kLeftCtrl = 162;
constexpr DWORD kF12 = 123;

class TillkeyProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    host::portable::ResetShell();
    host::SetCommandLine({"tillkey"});
    ResetGlobals();
    RemoveFiles();
  }
  void TearDown() override {
    app_.reset();
    host::portable::RefuseHookInstallation(false);
    host::portable::TakeKeyOutcomes();
    host::portable::TakeShownMessageBoxes();
    host::portable::TakeShownPopups();
    host::portable::ResetShell();
    RemoveFiles();
    ResetGlobals();
    virtualhid::Reset();
    host::portable::UseRealClock();
  }
  static void ResetGlobals() {
    Main_u::CtrlDown = Main_u::AltDown = Main_u::ShiftDown = false;
    Main_u::CloseRequested = false;
    setup_u::SetDefaultSettings();
    setup_u::SetupForm = nullptr;
    public_u::global_vars = public_u::T_global_vars{};
  }
  static void RemoveFiles() {
    std::error_code ec;
    std::filesystem::remove(host::FsPath(setup_u::SettingsFileName()), ec);
    std::filesystem::remove(host::FsPath(public_u::ResultFileName()), ec);
  }

  // The program's start, as RunTillkey makes it, up to its message loop.
  void Start() {
    app_ = std::make_unique<host::TApplication>();
    form_ = apps::StartProgram<tillkey::TDataModule1, tillkey::TMainForm>(*app_);
  }
  void Stop() { app_.reset(); }
  // After whatever asked it to end: it ends at the next turns of its loop, and once gone it has
  // left neither its icon nor its hook.
  void ExpectEndedLeavingNothing() {
    RunFor(*app_, 100);
    EXPECT_TRUE(app_->Terminated());
    Stop();
    EXPECT_EQ(Icons(), 0U);
    EXPECT_EQ(Hooks(), 0U);
  }

  static void PressHotkey() {
    host::portable::PressKey({kLeftCtrl, 29, 0, 0});
    host::portable::PressKey({kF12, 88, 0, 0});
    host::portable::PressKey({kF12, 88, LLKHF_UP, 0});
    host::portable::PressKey({kLeftCtrl, 29, LLKHF_UP, 0});
  }
  static bool Visible(HWND wnd) {
    host::portable::WindowState state;
    return host::portable::ReadWindowState(wnd, state) && state.visible;
  }
  static std::size_t Icons() { return host::portable::TrayIcons().size(); }
  static std::size_t Hooks() { return host::portable::InstalledHookCount(); }

  std::unique_ptr<host::TApplication> app_;
  tillkey::TMainForm* form_ = nullptr;
};

TEST_F(TillkeyProgram, StartsInTheTrayWithItsHookAndNothingOnScreen) {
  std::FILE* old = host::OpenFile(public_u::ResultFileName(), "wb");
  ASSERT_NE(old, nullptr);
  std::fclose(old);
  Start();
  RunFor(*app_, 200);
  EXPECT_EQ(Icons(), 1U);
  EXPECT_EQ(Hooks(), 1U);
  EXPECT_TRUE(form_->KeyboardHook->Active());
  EXPECT_FALSE(form_->Visible());
  EXPECT_FALSE(Visible(app_->Handle()));  // no taskbar button
  EXPECT_EQ(host::WindowCaption(app_->Handle()), tillkey::kTitle);
  EXPECT_FALSE(app_->ShowMainForm);
  EXPECT_FALSE(app_->Terminated());
  EXPECT_TRUE(host::FileExists(setup_u::SettingsFileName()));
  EXPECT_FALSE(host::FileExists(public_u::ResultFileName()));
  const std::vector<std::string> menu{"-", "Setup Cash Drawer", "-", "Close Cash Drawer Control",
                                      "-", "Hide Menu"};
  std::vector<std::string> captions;
  for (int i = 0; i < form_->PopupMenu1->Items()->Count(); ++i) {
    captions.push_back(form_->PopupMenu1->Items()->Items(i)->Caption());
  }
  EXPECT_EQ(captions, menu);
  // What lower levels may send it, should it run elevated, and nothing more.
  host::portable::WindowState app;
  host::portable::WindowState tray;
  host::portable::ReadWindowState(app_->Handle(), app);
  host::portable::ReadWindowState(TrayIcon::TrayHandler->TrayWindow(), tray);
  EXPECT_EQ(app.acceptedFromLowerLevels,
            (std::set<UINT>{host::RegisterWindowMessageA("TaskbarCreated"),
                            host::RegisterWindowMessageA(tillkey::kQuitRequestMessageName)}));
  EXPECT_EQ(tray.acceptedFromLowerLevels, std::set<UINT>{TrayIcon::TrayCallbackMessage});
}

TEST_F(TillkeyProgram, TheHotkeyOpensTheDrawerAtTheNextTickOnce) {
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Start();
  RunFor(*app_, 250);
  PressHotkey();
  PressHotkey();  // two presses before a tick are one request
  EXPECT_TRUE(public_u::global_vars.OpenRequested);
  RunFor(*app_, 100);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
  EXPECT_FALSE(public_u::global_vars.OpenRequested);
  RunFor(*app_, 500);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}

// Presses the hotkey every 30 ms, noting how many presses fell inside an opening (while the
// connect timer is off).
struct HotkeyPresser : host::TComponent {
  explicit HotkeyPresser(int presses) : host::TComponent(nullptr), left(presses) {
    timer.SetInterval(30);
    timer.SetOnTimer(host::TNotifyEvent::Of<&HotkeyPresser::Tick>(this));
  }
  void Tick(host::TObject*) {
    if (left-- <= 0) {
      timer.SetEnabled(false);
      return;
    }
    if (!Data_module::DataModule1->TimerTryToConnect->Enabled()) ++duringAnOpening;
    host::portable::PressKey({kLeftCtrl, 29, 0, 0});
    host::portable::PressKey({kF12, 88, 0, 0});
    host::portable::PressKey({kLeftCtrl, 29, LLKHF_UP, 0});
  }
  int left;
  int duringAnOpening = 0;
  host::TTimer timer{this};
};

TEST_F(TillkeyProgram, PressesDuringAnOpeningGiveExactlyOneFurtherOpening) {
  auto config = virtualhid::ReadyDrawer();
  config.replyAfterPolls = 4;  // each opening waits through four unanswered polls
  auto drawer = virtualhid::AddDevice(config);
  Start();
  RunFor(*app_, 250);
  HotkeyPresser presser(10);
  RunFor(*app_, 2000);
  EXPECT_GE(presser.duringAnOpening, 3);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 2);
}

TEST_F(TillkeyProgram, EveryCloseButTheTrayMenusLeavesItRunningInTheTray) {
  Start();
  RunFor(*app_, 100);
  const struct {
    const char* how;
    void (*close)(host::TApplication&, tillkey::TMainForm&);
    bool refused;  // a close request: the form hides and the icon comes back
  } requests[] = {
      {"the main form's Close", [](host::TApplication&, tillkey::TMainForm& f) { f.Close(); },
       true},
      {"WM_CLOSE to the application window",
       [](host::TApplication& a, tillkey::TMainForm&) {
         host::SendMessageTo(a.Handle(), WM_CLOSE, 0, 0);
       },
       true},
      {"the menu's Hide Menu",
       [](host::TApplication&, tillkey::TMainForm& f) { f.HideMenu1->Click(); }, false}};
  for (const auto& request : requests) {
    SCOPED_TRACE(request.how);
    form_->RestoreFromTray();
    ASSERT_TRUE(form_->Visible());
    form_->TrayIcon1->SetIconVisible(false);
    request.close(*app_, *form_);
    RunFor(*app_, 100);
    EXPECT_FALSE(app_->Terminated());
    EXPECT_EQ(form_->Visible(), !request.refused);
    EXPECT_EQ(Icons(), request.refused ? 1U : 0U);
    EXPECT_EQ(Hooks(), 1U);
    form_->TrayIcon1->SetIconVisible(true);
  }
  host::portable::ChoosePopupItem("Close Cash Drawer Control");
  ASSERT_TRUE(host::portable::NotifyTrayIcon(0, WM_RBUTTONDOWN));
  ASSERT_TRUE(host::portable::NotifyTrayIcon(0, WM_RBUTTONUP));
  ExpectEndedLeavingNothing();
}

TEST_F(TillkeyProgram, AClickOnTheIconShowsOnePixelAndMinimizingGoesBackToTheTray) {
  Start();
  RunFor(*app_, 100);
  ASSERT_TRUE(host::portable::NotifyTrayIcon(0, WM_LBUTTONDOWN));
  RunFor(*app_, 100);
  EXPECT_TRUE(form_->Visible());
  EXPECT_EQ((std::vector<int>{form_->Left(), form_->Top(), form_->Width(), form_->Height()}),
            (std::vector<int>{0, 0, 1, 1}));
  EXPECT_TRUE(Visible(app_->Handle()));
  host::SendMessageTo(app_->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  RunFor(*app_, 100);
  EXPECT_FALSE(form_->Visible());
  EXPECT_FALSE(Visible(app_->Handle()));
  EXPECT_EQ(Icons(), 1U);
  EXPECT_FALSE(app_->Terminated());
  // A second copy surfaces this one from outside, and the taskbar button comes back; the
  // taskbar's minimize must take it away again.
  host::ShowWindow(app_->Handle(), SW_RESTORE);
  ASSERT_TRUE(Visible(app_->Handle()));
  host::SendMessageTo(app_->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  RunFor(*app_, 100);
  EXPECT_FALSE(Visible(app_->Handle()));
  EXPECT_EQ(Icons(), 1U);
}

TEST_F(TillkeyProgram, TheQuitRequestAndTheSessionsEndEndItWithoutHookOrIcon) {
  const struct {
    const char* how;
    void (*send)(HWND app);
  } ways[] = {{"the quit request",
               [](HWND app) {
                 host::PostMessageTo(
                     app, host::RegisterWindowMessageA(tillkey::kQuitRequestMessageName), 0, 0);
               }},
              {"the end of the session", [](HWND app) {
                 // Asked first whether it may end: yes, though it refuses every close.
                 EXPECT_EQ(host::SendMessageTo(app, WM_QUERYENDSESSION, 0, 0), TRUE);
                 EXPECT_FALSE(Main_u::CloseRequested);
                 host::SendMessageTo(app, WM_ENDSESSION, TRUE, 0);
                 // The process may be ended as soon as that answer is given.
                 EXPECT_EQ(Icons(), 0U);
                 EXPECT_EQ(Hooks(), 0U);
               }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    ResetGlobals();
    Start();
    RunFor(*app_, 100);
    way.send(app_->Handle());
    ExpectEndedLeavingNothing();
  }
}

// How a refused copy surfaces the other is the guard's own test; here it is the whole program
// that must end without leaving anything, or taking the other copy's count.
TEST_F(TillkeyProgram, ASecondCopyEndsLeavingNothing) {
  bool existed = false;
  DWORD error = 0;
  auto mapping = host::CreateNamedMapping(InstanceGuard::GuardMappingName(host::ModuleFileName()),
                                          8, existed, error);
  ASSERT_TRUE(mapping) << error;
  auto view = host::MapView(mapping, 8, error);
  ASSERT_TRUE(view) << error;
  auto* first = static_cast<InstanceGuard::TSharedInstanceInfo*>(view.Get());
  first->InstanceCount = 1;

  Start();
  EXPECT_TRUE(app_->Terminated());
  EXPECT_FALSE(form_->InstanceGuard1->Counted);
  app_->Run();  // sees the termination at once
  Stop();
  EXPECT_EQ(Icons(), 0U);
  EXPECT_EQ(Hooks(), 0U);
  EXPECT_EQ(first->InstanceCount, 1U);
}

TEST_F(TillkeyProgram, ALongStallOfTheThreadInstallsTheHookAgain) {
  Start();
  RunFor(*app_, 250);
  const struct {
    UINT stallMs;
    bool reinstalled;
  } cases[] = {{150, false}, {tillkey::kHookReinstallGapMs, true}, {1500, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stallMs);
    const HHOOK before = form_->KeyboardHook->HookHandle();
    host::SleepWithoutPumping(c.stallMs);  // a handler that keeps the thread away from messages
    RunFor(*app_, 100);
    EXPECT_EQ(form_->KeyboardHook->HookHandle() != before, c.reinstalled);
    EXPECT_EQ(Hooks(), 1U);
    EXPECT_GE(form_->LongestRetrievalGapMs(), static_cast<std::int64_t>(c.stallMs));
  }
  PressHotkey();
  EXPECT_TRUE(public_u::global_vars.OpenRequested);
}

// The system drops the hook while Ctrl is down, the release goes unseen, and the system refuses
// the first new hook: the person is told once, every tick tries again, and once a hook is back
// Ctrl counts as up.
TEST_F(TillkeyProgram, AHookTheSystemDroppedAndRefusedComesBackOnALaterTickWithModifiersUp) {
  Start();
  RunFor(*app_, 250);
  const HHOOK old = form_->KeyboardHook->HookHandle();
  host::portable::PressKey({kLeftCtrl, 29, 0, 0});
  host::UnhookWindowsHookEx(old);
  host::portable::PressKey({kLeftCtrl, 29, LLKHF_UP, 0});
  host::portable::RefuseHookInstallation(true);
  host::SleepWithoutPumping(tillkey::kHookReinstallGapMs);
  RunFor(*app_, 500);  // the tick after the stall and four more
  EXPECT_EQ(form_->KeyboardHook->HookHandle(), old);
  const auto boxes = host::portable::TakeShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, "TLowLevelKeyboardHook CREATION FAILED!");
  host::portable::RefuseHookInstallation(false);
  RunFor(*app_, 100);  // no stall since: the next tick tries again all the same
  EXPECT_EQ(Hooks(), 1U);
  host::portable::PressKey({kF12, 88, 0, 0});
  EXPECT_FALSE(public_u::global_vars.OpenRequested);
}

TEST_F(TillkeyProgram, AnIconTheShellRefusedAtStartComesBackWithANewTaskbar) {
  host::portable::FailShellCalls(true);
  Start();
  RunFor(*app_, 100);
  ASSERT_EQ(Icons(), 0U);
  host::portable::FailShellCalls(false);
  host::portable::RecreateTaskbar();
  RunFor(*app_, 100);
  EXPECT_EQ(Icons(), 1U);
}

TEST_F(TillkeyProgram, AHookThatCannotBeInstalledIsToldAndTheProgramStaysInTheTray) {
  host::portable::RefuseHookInstallation(true);
  Start();
  RunFor(*app_, 100);
  const auto boxes = host::portable::TakeShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1U);
  EXPECT_EQ(boxes[0].text, "TLowLevelKeyboardHook CREATION FAILED!");
  EXPECT_FALSE(app_->Terminated());
  EXPECT_EQ(Icons(), 1U);
  EXPECT_EQ(Hooks(), 0U);
}

TEST_F(TillkeyProgram, AStartThatFailsLeavesNeitherHookNorIconBehind) {
  // A guard already in the process makes the main form's own raise while it is built.
  auto stray = std::make_unique<InstanceGuard::TInstanceGuard>(nullptr);
  EXPECT_THROW(Start(), InstanceGuard::EInstanceGuard);
  Stop();
  EXPECT_EQ(Icons(), 0U);
  EXPECT_EQ(Hooks(), 0U);
  EXPECT_EQ(Main_u::MainForm, nullptr);
}

}  // namespace
