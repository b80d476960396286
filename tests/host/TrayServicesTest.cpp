// What the tray icon needs of the host, on the portable backend: callback procedures for objects,
// icons, popup menus, and the application window with its taskbar button.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/Application.h"
#include "host/Icons.h"
#include "host/Menus.h"
#include "host/ObjectInstance.h"
#include "host/Shell.h"
#include "host/portable/IconHandles.h"
#include "host/portable/PopupMenus.h"

namespace {

using host::TNotifyEvent;

struct Receiver {
  int id = 0;
  std::vector<std::string>* log = nullptr;
  LRESULT Proc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CLOSE) throw host::Exception("refused");
    log->push_back(std::to_string(id) + ":" + std::to_string(msg));
    return id;
  }
};

TEST(ObjectInstances, EachCallsItsOwnObjectUntilAllAreTakenAndAFreedOneIsHandedOutAgain) {
  std::vector<std::string> log;
  std::vector<Receiver> receivers(host::kObjectInstanceCount + 1);
  std::vector<WNDPROC> procs;
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    receivers[i] = {static_cast<int>(i), &log};
    procs.push_back(host::MakeObjectInstance(host::WndMethod::Of<&Receiver::Proc>(&receivers[i])));
  }
  EXPECT_EQ(procs.back(), nullptr) << "one more than there are";
  procs.pop_back();
  EXPECT_EQ(std::set<WNDPROC>(procs.begin(), procs.end()).size(), procs.size());
  EXPECT_EQ(procs[7](nullptr, WM_NULL, 0, 0), 7);
  EXPECT_EQ(procs[63](nullptr, WM_TIMER, 0, 0), 63);
  EXPECT_EQ(procs[7](nullptr, WM_CLOSE, 0, 0), 0) << "an exception ends in the procedure";
  EXPECT_EQ(log, (std::vector<std::string>{"7:0", "63:275"}));

  host::FreeObjectInstance(procs[7]);
  EXPECT_EQ(procs[7](nullptr, WM_NULL, 0, 0), 0) << "freed, it calls nothing";
  const WNDPROC again =
      host::MakeObjectInstance(host::WndMethod::Of<&Receiver::Proc>(&receivers[64]));
  EXPECT_EQ(again, procs[7]);
  EXPECT_EQ(again(nullptr, WM_NULL, 0, 0), 64);
  procs[7] = again;
  for (WNDPROC proc : procs) host::FreeObjectInstance(proc);
  EXPECT_EQ(host::MakeObjectInstance(nullptr), nullptr);
}

struct Changes : host::TComponent {
  using host::TComponent::TComponent;
  int count = 0;
  void Changed(TObject*) { ++count; }
};

TEST(Icons, AResourceIsReadWhenItsHandleIsAskedForAndCopiesAreTheirOwn) {
  {
    host::TIcon missing;
    missing.LoadFromResourceName("NOT_THERE");
    EXPECT_FALSE(missing.Empty());
    EXPECT_THROW(missing.Handle(), host::EReadError);
    EXPECT_THROW(missing.Handle(), host::EReadError) << "asked again, tried again";

    host::TIcon program;
    program.LoadFromResourceName(host::kProgramIconName);
    const HICON handle = program.Handle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(program.Handle(), handle);

    Changes changes(nullptr);
    host::TIcon copy;
    copy.OnChange = TNotifyEvent::Of<&Changes::Changed>(&changes);
    EXPECT_TRUE(copy.Empty());
    EXPECT_EQ(copy.Handle(), nullptr);
    copy.Assign(program);
    EXPECT_EQ(changes.count, 1);
    EXPECT_NE(copy.Handle(), nullptr);
    EXPECT_NE(copy.Handle(), handle);

    host::TCustomImageList list(nullptr);
    EXPECT_EQ(list.AddIcon(program), 0);
    EXPECT_EQ(list.AddIcon(missing), 1);
    EXPECT_TRUE(list.GetIcon(0, copy));
    EXPECT_FALSE(list.GetIcon(2, copy));
    EXPECT_EQ(changes.count, 2);
    EXPECT_TRUE(list.GetIcon(1, copy));
    EXPECT_THROW(copy.Handle(), host::EReadError) << "an unread resource copies as its name";
  }
  EXPECT_EQ(host::portable::LiveIconCount(), 0u);
}

struct MenuOwner : host::TComponent {
  using host::TComponent::TComponent;
  std::vector<std::string> clicks;
  void Clicked(TObject* sender) {
    clicks.push_back(static_cast<host::TMenuItem*>(sender)->Caption());
  }
};

TEST(Menus, ItemsLeaveTheirParentWhenFreedAndOnlyEnabledOnesClick) {
  MenuOwner owner(nullptr);
  host::TPopupMenu popup(&owner);
  host::TPopupMenu* menu = &popup;
  std::vector<host::TMenuItem*> items;
  for (const char* caption : {"Setup", "-", "Close", "Hide"}) {
    items.push_back(new host::TMenuItem(&owner));
    items.back()->SetCaption(caption);
    items.back()->OnClick = TNotifyEvent::Of<&MenuOwner::Clicked>(&owner);
    menu->Items()->Add(items.back());
  }
  EXPECT_TRUE(items[1]->IsLine());
  delete items[2];
  ASSERT_EQ(menu->Items()->Count(), 3);
  EXPECT_EQ(menu->Items()->Items(2), items[3]);

  items[3]->SetEnabled(false);
  host::portable::ChoosePopupItem("Hide");
  menu->Popup(5, 6);
  host::portable::ChoosePopupItem("Setup");
  menu->Popup(5, 6);
  EXPECT_EQ(owner.clicks, std::vector<std::string>{"Setup"});
  const auto shown = host::portable::TakeShownPopups();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].captions, (std::vector<std::string>{"Setup", "-", "Hide"}));

  auto* showing = new host::TMenuItem(&owner);
  menu->SetPopupComponent(showing);
  delete showing;
  EXPECT_EQ(menu->PopupComponent(), nullptr);
}

struct AppWatch : host::TComponent {
  using host::TComponent::TComponent;
  std::vector<std::string> log;
  bool Hook(UINT msg, WPARAM wParam, LPARAM, LRESULT&) {
    if (msg == WM_SIZE) log.push_back("size " + std::to_string(wParam));
    return false;
  }
  void Minimized(TObject*) { log.push_back("minimized"); }
  void Restored(TObject*) { log.push_back("restored"); }
};

TEST(ApplicationWindow, CarriesTheTitleAndTheMinimizeAndRestoreCommandsReachItsHooks) {
  host::TApplication app;
  AppWatch watch(nullptr);
  app.SetTitle("till");
  EXPECT_EQ(host::WindowCaption(app.Handle()), "till");
  app.HookMainWindow(host::TWindowHook::Of<&AppWatch::Hook>(&watch));
  app.OnMinimize = TNotifyEvent::Of<&AppWatch::Minimized>(&watch);
  app.OnRestore = TNotifyEvent::Of<&AppWatch::Restored>(&watch);
  host::SendMessageTo(app.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(app.Minimized());
  host::SendMessageTo(app.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(app.Minimized());
  EXPECT_EQ(watch.log, (std::vector<std::string>{"size 1", "minimized", "size 0", "restored"}));
  app.UnhookMainWindow(host::TWindowHook::Of<&AppWatch::Hook>(&watch));
}

}  // namespace
