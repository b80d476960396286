// The drawer conversation: what goes on the wire, how replies are judged, and how long each
// outcome takes on the virtual clock.
#include <cstdint>
#include <vector>

#include "DrawerFixture.h"

namespace {

using public_u::global_vars;
using Bytes = std::vector<std::uint8_t>;

class Protocol : public DrawerFixture {
 protected:
  // A drawer with the given firmware, selected as CurrentDevice.
  virtualhid::DeviceId StartWith(virtualhid::Firmware firmware, int replyAfterPolls = 0) {
    auto cfg = virtualhid::ReadyDrawer();
    cfg.firmware = firmware;
    cfg.replyAfterPolls = replyAfterPolls;
    auto id = virtualhid::AddDevice(cfg);
    Start();
    EXPECT_TRUE(Select(0));
    start_ = host::TickCountMs();
    return id;
  }
  std::int64_t Elapsed() const { return host::TickCountMs() - start_; }
  std::int64_t start_ = 0;
};

TEST_F(Protocol, OpenCommandGoesOutAsFiveBytesAndSettlesOneMillisecond) {
  auto id = StartWith(virtualhid::Firmware::Drawer);
  EXPECT_TRUE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 0);
  ASSERT_EQ(virtualhid::CommandsReceived(id).size(), 1u);
  EXPECT_EQ(virtualhid::CommandsReceived(id)[0], (Bytes{0x00, 0x57, 0x4F, 0x00, 0x18}));
  EXPECT_EQ(virtualhid::DrawerOpens(id), 1);
  EXPECT_EQ(virtualhid::FeatureGets(id), 1);
  EXPECT_EQ(Elapsed(), 1);
}

TEST_F(Protocol, AWriteToAddressW57SettlesTenMilliseconds) {
  auto id = StartWith(virtualhid::Firmware::Drawer);
  EXPECT_TRUE(public_u::WriteDrawerMemory(0x57, 9));
  EXPECT_EQ(Elapsed(), 10);
  EXPECT_EQ(virtualhid::DrawerMemory(id, 0x57), 9);
  EXPECT_EQ(virtualhid::DrawerOpens(id), 0);
}

TEST_F(Protocol, UnansweredCommandFailsAfterTenPollsWithError3) {
  auto id = StartWith(virtualhid::Firmware::Silent);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 3);
  EXPECT_EQ(virtualhid::FeatureGets(id), 10);
  EXPECT_EQ(Elapsed(), 1 + 10 * 50);  // the settle, then a 50 ms delay after each of ten reads
}

TEST_F(Protocol, ErrorReplyStopsAtTheFirstPollWithError1) {
  auto id = StartWith(virtualhid::Firmware::ErrorReply);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 1);
  EXPECT_EQ(virtualhid::FeatureGets(id), 1);
  EXPECT_EQ(Elapsed(), 1);
}

TEST_F(Protocol, OnlyEAndCTogetherMakeAnErrorReply) {
  StartWith(virtualhid::Firmware::Drawer);
  struct Case {
    BYTE command[3];
    BYTE reply1;
    BYTE reply2;
  };
  // The drawer answers an unknown command 'E','U', and a read of address 0x43 '=','C'.
  for (const Case& c : {Case{{'X', 1, 2}, 'E', 'U'}, Case{{'R', 'C', 0}, '=', 'C'}}) {
    BYTE reply[5] = {};
    EXPECT_TRUE(public_u::SendDrawerCommand(c.command, reply)) << c.command[0];
    EXPECT_EQ(global_vars.DrawerError, 0);
    EXPECT_EQ(reply[1], c.reply1);
    EXPECT_EQ(reply[2], c.reply2);
  }
}

TEST_F(Protocol, AcceptedReplyWithoutPlusIsError2ThoughTheCommandWasAnswered) {
  auto id = StartWith(virtualhid::Firmware::NoAck);
  BYTE reply[5] = {};
  const BYTE command[3] = {0x57, 79, 0};
  EXPECT_TRUE(public_u::SendDrawerCommand(command, reply));
  EXPECT_EQ(global_vars.DrawerError, 0);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 2);
  EXPECT_EQ(virtualhid::DrawerOpens(id), 0);
}

TEST_F(Protocol, FailedWriteIsError5AndSpendsNoTime) {
  auto id = StartWith(virtualhid::Firmware::WriteFails);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 5);
  EXPECT_EQ(virtualhid::FeatureGets(id), 0);
  EXPECT_EQ(Elapsed(), 0);
}

TEST_F(Protocol, FailedReadsCountAsPollsUntilTheReplyComes) {
  auto id = StartWith(virtualhid::Firmware::Drawer, 3);
  EXPECT_TRUE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(virtualhid::FeatureGets(id), 4);
  EXPECT_EQ(Elapsed(), 1 + 3 * 50);
  EXPECT_EQ(virtualhid::DrawerOpens(id), 1);
}

TEST_F(Protocol, ReplyAfterTheTenthPollIsTooLate) {
  StartWith(virtualhid::Firmware::Drawer, 10);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 3);
}

TEST_F(Protocol, DeviceReleasedMidCommandFailsTheCommandWithoutTouchingIt) {
  auto id = StartWith(virtualhid::Firmware::Silent);
  // The interface disappears right after the command is accepted; the broadcast reaches the
  // controller inside the protocol's wait and the list rebuild releases every device.
  virtualhid::UnplugDuringCommand(id, virtualhid::UnplugMoment::AfterNextAcceptedSet);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 3);
  EXPECT_EQ(Data_module::CurrentDevice, nullptr);
  EXPECT_EQ(form->DevListBox->Count(), 0);
  EXPECT_LT(Elapsed(), 1 + 10 * 50);  // it did not go on polling a device that is gone
}

TEST_F(Protocol, ListRebuiltMidCommandForAnotherDeviceAlsoEndsTheCommand) {
  auto drawer = StartWith(virtualhid::Firmware::Silent);
  // Another interface arrives while the drawer is polled: the rebuild releases the drawer's
  // object too, and the command must not go on with it.
  auto other = virtualhid::ReadyDrawer();
  other.product = "Keyboard";
  virtualhid::AddDevice(other);
  EXPECT_FALSE(public_u::WriteDrawerMemory(79, 0));
  EXPECT_EQ(global_vars.DrawerError, 3);
  EXPECT_EQ(form->DevListBox->Count(), 2);
  EXPECT_LE(virtualhid::FeatureGets(drawer), 1);
}

}  // namespace
