// The device list, the drawer's identification and the open sequence.
#include <string>
#include <vector>

#include "DrawerFixture.h"

namespace {

using Data_module::CurrentDevice;

class OpenSequence : public DrawerFixture {
 protected:
  static virtualhid::DeviceConfig Drawer(const std::string& log = "") {
    auto cfg = virtualhid::ReadyDrawer();
    cfg.openLog = log;
    return cfg;
  }
  static virtualhid::DeviceConfig Other(const std::string& product) {
    auto cfg = virtualhid::ReadyDrawer();
    cfg.product = product;
    return cfg;
  }
  hid::THidDevice* Line(int i) const {
    return static_cast<hid::THidDevice*>(form->DevListBox->Objects(i));
  }
};

TEST_F(OpenSequence, RebuildListsEveryDeviceCheckedOutWith128BuffersOnBothHandles) {
  virtualhid::AddDevice(Drawer());
  auto cfg = Other("Keyboard");
  cfg.product.reset();
  cfg.vendorId = 0x1A2B;
  cfg.productId = 0x7;
  virtualhid::AddDevice(cfg);
  Start();
  ASSERT_EQ(form->DevListBox->Count(), 2);
  EXPECT_EQ(form->DevListBox->Strings(0), "QV USB Cash Drawer");
  EXPECT_EQ(form->DevListBox->Strings(1), "Device VID=1a2b PID=0007");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(Line(i)->CheckedOut());
    EXPECT_EQ(Line(i)->NumInputBuffers(), 128);
    EXPECT_EQ(Line(i)->NumOverlappedBuffers(), 128);
  }
  // A later change rebuilds the whole list with fresh objects. The selected device goes with
  // the others: the selection must not name it any more, nor its data handler live on in its
  // successor.
  ASSERT_TRUE(Select(0));
  ASSERT_NE(Line(0)->Reader(), nullptr);
  virtualhid::AddDevice(Other("Scanner"));
  app->ProcessMessages();
  EXPECT_EQ(CurrentDevice, nullptr);
  ASSERT_EQ(form->DevListBox->Count(), 3);
  EXPECT_FALSE(Line(0)->OnData().IsSet());
  EXPECT_EQ(Line(0)->Reader(), nullptr);
  EXPECT_TRUE(Line(2)->CheckedOut());
  EXPECT_EQ(form->DevListBox->Strings(2), "Scanner");
}

TEST_F(OpenSequence, OnlyAFiveByteFeatureReportAndTheProductTextTogetherMakeTheDrawer) {
  auto longer = Drawer();
  longer.featureReportLength = 6;
  virtualhid::AddDevice(longer);
  virtualhid::AddDevice(Other("USB Keypad"));          // 5 bytes, wrong text
  virtualhid::AddDevice(Other("qv usb cash drawer"));  // the text in lower case
  auto nameless = Drawer();
  nameless.product.reset();
  virtualhid::AddDevice(nameless);  // no product string at all
  auto drawer = virtualhid::AddDevice(Other("Till: QV USB Cash Drawer v2"));
  Start();
  ASSERT_TRUE(public_u::FindDrawer());
  EXPECT_EQ(form->DevListBox->ItemIndex(), 4);
  EXPECT_EQ(CurrentDevice, Line(4));
  EXPECT_EQ(CurrentDevice->PnPInfo()->DeviceID, virtualhid::DevInst(drawer));
}

TEST_F(OpenSequence, WithTwoDrawersTheEarlierLineIsChosenAndOpened) {
  auto first = virtualhid::AddDevice(Drawer());
  auto second = virtualhid::AddDevice(Drawer());
  Start();
  EXPECT_TRUE(public_u::OpenDrawer());
  EXPECT_EQ(virtualhid::DrawerOpens(first), 1);
  EXPECT_EQ(virtualhid::DrawerOpens(second), 0);
}

TEST_F(OpenSequence, APassWithoutTheDrawerVisitsEveryLineAndEndsOnTheLast) {
  virtualhid::AddDevice(Other("A"));
  virtualhid::AddDevice(Other("B"));
  virtualhid::AddDevice(Other("C"));
  Start();
  EXPECT_FALSE(public_u::ScanForDrawer());
  EXPECT_EQ(form->DevListBox->ItemIndex(), 2);
  EXPECT_EQ(CurrentDevice, Line(2));
  // Only the selected device reads input: the earlier ones were let go again.
  EXPECT_EQ(Line(0)->Reader(), nullptr);
  EXPECT_EQ(Line(1)->Reader(), nullptr);
  EXPECT_NE(Line(2)->Reader(), nullptr);
}

TEST_F(OpenSequence, EmptyListFailsAtOnceWithoutTouchingTheSelection) {
  Start();
  EXPECT_FALSE(public_u::ScanForDrawer());
  EXPECT_EQ(form->DevListBox->ItemIndex(), -1);
  EXPECT_EQ(CurrentDevice, nullptr);
  std::int64_t start = host::TickCountMs();
  EXPECT_FALSE(public_u::OpenDrawer());
  EXPECT_EQ(host::TickCountMs(), start);
}

TEST_F(OpenSequence, NothingIsSentWhenNoDrawerIsFound) {
  auto other = virtualhid::AddDevice(Other("Keyboard"));
  Start();
  EXPECT_FALSE(public_u::OpenDrawer());
  EXPECT_TRUE(virtualhid::CommandsReceived(other).empty());
}

TEST_F(OpenSequence, TheListCountIsEightBits) {
  // 257 lines count as 1: only the first line is looked at.
  virtualhid::AddDevice(Other("Keyboard"));
  auto drawer = virtualhid::AddDevice(Drawer());
  for (int i = 0; i < 255; ++i) virtualhid::AddDevice(Other("Filler"));
  Start();
  ASSERT_EQ(form->DevListBox->Count(), 257);
  EXPECT_FALSE(public_u::FindDrawer());
  // The pass tested line 0, moved on to line 1 and stopped there without testing it.
  EXPECT_EQ(form->DevListBox->ItemIndex(), 1);
  EXPECT_TRUE(virtualhid::CommandsReceived(drawer).empty());
}

// Posts itself a double-click on the main form while the open sequence waits for the drawer.
struct NestedClick : host::TComponent {
  explicit NestedClick(Main_u::TMainForm* f) : host::TComponent(nullptr), form(f) {
    wnd = host::AllocateHWnd(host::WndMethod::Of<&NestedClick::Proc>(this));
  }
  ~NestedClick() override { host::DeallocateHWnd(wnd); }
  LRESULT Proc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_APP) {
      ++clicks;
      form->DblClick();
    }
    return 0;
  }
  Main_u::TMainForm* form;
  HWND wnd;
  int clicks = 0;
};

TEST_F(OpenSequence, DoubleClickDuringAGuardedOpenReturnsAtOnce) {
  auto cfg = Drawer();
  cfg.replyAfterPolls = 2;  // the command waits, pumping messages
  auto drawer = virtualhid::AddDevice(cfg);
  Start();
  NestedClick nested(form);
  host::PostMessageTo(nested.wnd, WM_APP, 0, 0);
  std::int64_t start = host::TickCountMs();
  form->DblClick();  // OpenDrawerGuarded
  EXPECT_EQ(nested.clicks, 1);
  EXPECT_EQ(virtualhid::CommandsReceived(drawer).size(), 1u);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
  EXPECT_FALSE(public_u::OpenBusy);
  // The fixed pause between finding and opening, then the settle and two failed polls.
  EXPECT_EQ(host::TickCountMs() - start, 100 + 1 + 2 * 50);
}

}  // namespace
