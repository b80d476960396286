// Plugging and unplugging: the device-change broadcast that every change posts, and removals in
// the middle of a drawer command.
#include <thread>

#include "VirtualTesting.h"
#include "hid/DBT.h"
#include "host/Messages.h"

namespace {

// A hidden window that counts the device-change broadcasts reaching it.
class BroadcastCounter {
 public:
  BroadcastCounter() = default;
  // The window's method holds `this`.
  BroadcastCounter(const BroadcastCounter&) = delete;
  BroadcastCounter& operator=(const BroadcastCounter&) = delete;

  // How many arrived since the last call, once the loop has dispatched what is waiting.
  int Take() {
    host::DispatchPending();
    return std::exchange(count_, 0);
  }

 private:
  LRESULT Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED && lParam == 0) {
      ++count_;
      return 0;
    }
    return host::DefaultWindowProc(wnd, msg, wParam, lParam);
  }

  int count_ = 0;
  host::HiddenWindow wnd_{host::WndMethod::Of<&BroadcastCounter::Proc>(this)};
};

class PlugTest : public vtest::VirtualHidTest {
 protected:
  void SetUp() override {
    vtest::VirtualHidTest::SetUp();
    broadcasts.Take();
  }
  BroadcastCounter broadcasts;
};

TEST_F(PlugTest, EveryChangePostsOneBroadcastAndNoChangePostsNone) {
  auto d = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  EXPECT_EQ(broadcasts.Take(), 1);
  auto later = virtualhid::AddDevice(virtualhid::ReadyDrawer(), false);
  EXPECT_EQ(broadcasts.Take(), 0);

  EXPECT_TRUE(virtualhid::Plug(later));
  EXPECT_EQ(broadcasts.Take(), 1);
  EXPECT_FALSE(virtualhid::Plug(later));
  EXPECT_EQ(broadcasts.Take(), 0);
  EXPECT_TRUE(virtualhid::Unplug(d));
  EXPECT_EQ(broadcasts.Take(), 1);
  EXPECT_FALSE(virtualhid::Unplug(d));
  EXPECT_EQ(broadcasts.Take(), 0);

  std::thread([later] { virtualhid::Unplug(later); }).join();  // from another thread too
  EXPECT_EQ(broadcasts.Take(), 1);
  EXPECT_FALSE(virtualhid::IsPlugged(later));

  virtualhid::Reset();
  EXPECT_EQ(broadcasts.Take(), 0);
}

TEST_F(PlugTest, UnplugRightAfterTheNextAcceptedSet) {
  auto d = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  HANDLE h = Open(d);
  broadcasts.Take();
  ASSERT_TRUE(virtualhid::UnplugDuringCommand(d, virtualhid::UnplugMoment::AfterNextAcceptedSet));

  std::array<std::uint8_t, 4> tooShort{0, 'W', 79, 0};
  EXPECT_FALSE(api->SetFeature(h, tooShort.data(), 4));  // refused: not the moment yet
  EXPECT_TRUE(virtualhid::IsPlugged(d));

  EXPECT_TRUE(Send(h, 'W', 79, 0));
  EXPECT_FALSE(virtualhid::IsPlugged(d));
  EXPECT_EQ(virtualhid::DrawerOpens(d), 1);  // the command got through before the removal
  EXPECT_EQ(broadcasts.Take(), 1);
  EXPECT_FALSE(Poll(h));
  EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

  virtualhid::Plug(d);  // the trap went with the plug
  h = Open(d);
  EXPECT_TRUE(Send(h, 'W', 79, 0));
  EXPECT_TRUE(virtualhid::IsPlugged(d));
  api->CloseHandle(h);
}

TEST_F(PlugTest, UnplugRightAfterTheNextGet) {
  auto d = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  HANDLE h = Open(d);
  virtualhid::UnplugDuringCommand(d, virtualhid::UnplugMoment::AfterNextGet);
  EXPECT_TRUE(Send(h, 'W', 79, 0));
  EXPECT_TRUE(virtualhid::IsPlugged(d));
  auto reply = Poll(h);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], '+');
  EXPECT_FALSE(virtualhid::IsPlugged(d));
  EXPECT_FALSE(Poll(h));
  api->CloseHandle(h);
}

}  // namespace
