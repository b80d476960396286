// Hot-plug: every change the directory reports reaches the process's windows as the system's
// device-change broadcast, from the registration's own thread, which stops at once.
#include <chrono>

#include "hid/DBT.h"
#include "host/Messages.h"
#include "tests/Pump.h"
#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidrawtest::HidrawTest;
using Clock = std::chrono::steady_clock;

struct Receiver {
  int changes = 0;
  int others = 0;
  LRESULT Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED && lParam == 0) {
      ++changes;
    } else if (msg == WM_DEVICECHANGE) {
      ++others;
    }
    return host::DefaultWindowProc(wnd, msg, wParam, lParam);
  }
};

class HidrawHotplug : public HidrawTest {
 protected:
  void SetUp() override {
    HidrawTest::SetUp();
    window = host::HiddenWindow(host::WndMethod::Of<&Receiver::Proc>(&receiver));
  }
  void TearDown() override {
    window.Reset();
    HidrawTest::TearDown();
  }
  bool ChangesArrived(int count) {
    return till_testing::PumpUntil([&] { return receiver.changes >= count; });
  }

  Receiver receiver;
  host::HiddenWindow window;
};

TEST_F(HidrawHotplug, EveryChangeBroadcastsDevNodesChanged) {
  EXPECT_TRUE(registration->Watching());
  EXPECT_EQ(fake->NotifyChange(), 1);
  EXPECT_TRUE(ChangesArrived(1));
  EXPECT_EQ(receiver.changes, 1);
  EXPECT_EQ(fake->NotifyChange(3), 3);
  EXPECT_TRUE(ChangesArrived(4));
  EXPECT_EQ(receiver.changes, 4);
  EXPECT_EQ(receiver.others, 0);
}

TEST_F(HidrawHotplug, TheWatchStopsAtOnceAndPostsNothingAfterwards) {
  const auto start = Clock::now();
  registration.reset();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  // Its end of the notifications went with it: nothing is left that could broadcast one.
  EXPECT_EQ(fake->NotifyChange(), 0);
  host::DispatchPending();
  EXPECT_EQ(receiver.changes, 0);
}

TEST_F(HidrawHotplug, WithoutNotificationsTheServicesStillWork) {
  registration.reset();
  fake->SetWatchAvailable(false);
  registration = std::make_unique<hidraw::Registration>(hidraw::System{fake, fake});
  EXPECT_FALSE(registration->Watching());
  const auto d = fake->Add(hidrawtest::DrawerConfig());
  HANDLE h = Open(d);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  api->CloseHandle(h);
}

TEST_F(HidrawHotplug, AfterTheRegistrationHasGoneOpenHandlesStillWorkAndNewOnesAreRefused) {
  const auto d = fake->Add(hidrawtest::DrawerConfig());
  HANDLE h = Open(d);
  registration.reset();
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  EXPECT_TRUE(api->GetAttributes(h, &attributes));
  EXPECT_EQ(Open(d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(api->CloseHandle(h));
}

}  // namespace
