// The device list, the drawer's identification and the open sequence.
#include <cstdint>
#include <ostream>
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
  virtualhid::AddDevice(Other("USB Keypad"));          // 5 bytes, wrong text
  virtualhid::AddDevice(Other("qv usb cash drawer"));  // the text in lower case
  auto nameless = Drawer();
  nameless.product.reset();
  virtualhid::AddDevice(nameless);  // no product string at all
  auto drawer = virtualhid::AddDevice(Other("Till: QV USB Cash Drawer v2"));
  Start();
  ASSERT_TRUE(public_u::FindDrawer());
  EXPECT_EQ(form->DevListBox->ItemIndex(), 3);
  EXPECT_EQ(CurrentDevice, Line(3));
  EXPECT_EQ(CurrentDevice->PnPInfo()->DeviceID, virtualhid::DevInst(drawer));
}

class FeatureLength : public OpenSequence, public ::testing::WithParamInterface<int> {};

TEST_P(FeatureLength, OtherThanFiveIsNotTheDrawerWhateverTheProductText) {
  auto cfg = Drawer();
  cfg.featureReportLength = static_cast<std::uint16_t>(GetParam());
  auto device = virtualhid::AddDevice(cfg);
  Start();
  EXPECT_FALSE(public_u::OpenDrawer());
  EXPECT_TRUE(virtualhid::CommandsReceived(device).empty());
}

INSTANTIATE_TEST_SUITE_P(Lengths, FeatureLength, ::testing::Values(1, 2, 3, 4, 6));

// Each pass in which the capabilities cannot be read misses the drawer; the open sequence gives
// up only after four such passes.
struct Misses {
  int failedPasses;
  bool found;
};
void PrintTo(const Misses& m, std::ostream* os) {
  *os << m.failedPasses << "FailedPasses";
}
class Passes : public OpenSequence, public ::testing::WithParamInterface<Misses> {};

TEST_P(Passes, FindDrawerTriesFourTimes) {
  auto cfg = Drawer();
  // Query-only: no reader asks for the capabilities too, so each pass asks exactly once.
  cfg.access = virtualhid::Access::QueryOnly;
  virtualhid::AddDevice(cfg);
  Start();
  virtualhid::FailNextCalls("HidP_GetCaps", GetParam().failedPasses, ERROR_GEN_FAILURE);
  EXPECT_EQ(public_u::FindDrawer(), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(FailedPasses, Passes,
                         ::testing::Values(Misses{1, true}, Misses{3, true}, Misses{4, false}));

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
  explicit NestedClick(Main_u::TMainForm* f) : host::TComponent(nullptr), form(f) {}
  LRESULT Proc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_APP) {
      ++clicks;
      form->DblClick();
    }
    return 0;
  }
  Main_u::TMainForm* form;
  int clicks = 0;
  host::HiddenWindow wnd{host::WndMethod::Of<&NestedClick::Proc>(this)};
};

TEST_F(OpenSequence, DoubleClickDuringAGuardedOpenReturnsAtOnce) {
  auto cfg = Drawer();
  cfg.replyAfterPolls = 2;  // the command waits, pumping messages
  auto drawer = virtualhid::AddDevice(cfg);
  Start();
  NestedClick nested(form);
  host::PostMessageTo(nested.wnd.Handle(), WM_APP, 0, 0);
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
