// The firmware behind the feature reports, as the drawer protocol meets it through
// HidD_SetFeature / HidD_GetFeature.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "VirtualTesting.h"

namespace {

using virtualhid::DeviceConfig;
using virtualhid::Firmware;
using vtest::Report;

constexpr std::uint8_t kW = 'W';
const Report kOpenCommand{0x00, 0x57, 0x4F, 0x00, 0x18};

std::string Contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FirmwareTest : public vtest::VirtualHidTest {
 protected:
  virtualhid::DeviceId Drawer(Firmware firmware, int replyAfterPolls = 0) {
    DeviceConfig c = virtualhid::ReadyDrawer();
    c.firmware = firmware;
    c.replyAfterPolls = replyAfterPolls;
    return virtualhid::AddDevice(c);
  }
};

TEST_F(FirmwareTest, OpenCommandIsAcknowledgedOpensTheDrawerAndIsLogged) {
  auto dir = std::filesystem::temp_directory_path() / "virtual_hid_firmware_log";
  std::filesystem::create_directories(dir);
  auto log = dir / "open.log";
  std::filesystem::remove(log);
  DeviceConfig c = virtualhid::ReadyDrawer();
  c.openLog = log.string();
  auto drawer = virtualhid::AddDevice(c);
  HANDLE h = Open(drawer);

  ASSERT_TRUE(SendRaw(h, kOpenCommand));
  auto reply = Poll(h);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[0], 0);
  EXPECT_EQ((*reply)[1], '+');
  EXPECT_NE((*reply)[4], kOpenCommand[4]);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
  ASSERT_TRUE(SendRaw(h, kOpenCommand));
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 2);

  EXPECT_EQ(Contents(log), "OPEN\r\nOPEN\r\n");
  using Bytes = std::vector<std::uint8_t>;
  const Bytes open(kOpenCommand.begin(), kOpenCommand.end());
  EXPECT_EQ(virtualhid::CommandsReceived(drawer), (std::vector<Bytes>{open, open}));
  api->CloseHandle(h);
  std::filesystem::remove_all(dir);
}

#ifndef _WIN32
TEST_F(FirmwareTest, AnOpenLogThatIsALinkIsNotWrittenThrough) {
  const auto dir = std::filesystem::temp_directory_path() / "virtual_hid_firmware_link";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink(dir / "planted", dir / "open.log");
  DeviceConfig c = virtualhid::ReadyDrawer();
  c.openLog = (dir / "open.log").string();
  const auto drawer = virtualhid::AddDevice(c);
  HANDLE h = Open(drawer);
  ASSERT_TRUE(SendRaw(h, kOpenCommand));
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "planted"));
  api->CloseHandle(h);
  std::filesystem::remove_all(dir);
}
#endif

TEST_F(FirmwareTest, WritesGoToMemoryAndOnlyZeroAtSeventyNineOpens) {
  auto drawer = Drawer(Firmware::Drawer);
  HANDLE h = Open(drawer);
  ASSERT_TRUE(Send(h, kW, 79, 1));  // address 79, but not the value 0
  ASSERT_TRUE(Send(h, kW, 0x57, 0));
  ASSERT_TRUE(Send(h, kW, 12, 0xAB));
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 0);
  EXPECT_EQ(virtualhid::DrawerMemory(drawer, 79), 1);
  EXPECT_EQ(virtualhid::DrawerMemory(drawer, 12), 0xAB);

  ASSERT_TRUE(Send(h, 'R', 12, 0));
  auto reply = Poll(h);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], '=');
  EXPECT_EQ((*reply)[2], 12);
  EXPECT_EQ((*reply)[3], 0xAB);
  api->CloseHandle(h);
}

TEST_F(FirmwareTest, WrongCheckByteGetsTheErrorReplyAndChangesNothing) {
  auto drawer = Drawer(Firmware::Drawer);
  HANDLE h = Open(drawer);
  ASSERT_TRUE(SendRaw(h, {0, 0x57, 0x4F, 0x00, 0x19}));
  auto reply = Poll(h);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], 'E');
  EXPECT_EQ((*reply)[2], 'C');
  EXPECT_NE((*reply)[4], 0x19);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 0);
  EXPECT_EQ(virtualhid::DrawerMemory(drawer, 79), 0);

  ASSERT_TRUE(Send(h, 'Q', 1, 2));  // a command the drawer does not know
  reply = Poll(h);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], 'E');
  EXPECT_NE((*reply)[2], 'C');
  api->CloseHandle(h);
}

// The host tells an answer from its own command by byte 4; no answer may carry the check byte.
TEST_F(FirmwareTest, NoAnswerEverCarriesTheCommandsCheckByte) {
  auto drawer = Drawer(Firmware::Drawer);
  HANDLE h = Open(drawer);
  int answers = 0;
  for (int command : {'W', 'R', 'E', 'Z'}) {
    for (int p1 = 0; p1 < 256; ++p1) {
      for (int p2 = 0; p2 < 256; p2 += (command == 'W' ? 1 : 7)) {
        auto c = static_cast<std::uint8_t>(command);
        auto a = static_cast<std::uint8_t>(p1);
        auto b = static_cast<std::uint8_t>(p2);
        ASSERT_TRUE(Send(h, c, a, b));
        auto reply = Poll(h);
        ASSERT_TRUE(reply);
        ASSERT_NE((*reply)[4], c ^ a ^ b) << command << " " << p1 << " " << p2;
        ++answers;
      }
    }
  }
  EXPECT_GT(answers, 65536);
  api->CloseHandle(h);
}

TEST_F(FirmwareTest, BeforeAnyCommandAndAfterAReplugTheReportIsBlank) {
  auto drawer = Drawer(Firmware::Drawer);
  HANDLE h = Open(drawer);
  EXPECT_EQ(Poll(h), (Report{0, 0, 0, 0, 0}));
  ASSERT_TRUE(Send(h, kW, 79, 0));
  ASSERT_TRUE(Send(h, kW, 5, 6));
  api->CloseHandle(h);

  virtualhid::Unplug(drawer);
  virtualhid::Plug(drawer);
  h = Open(drawer);
  EXPECT_EQ(Poll(h), (Report{0, 0, 0, 0, 0}));
  EXPECT_EQ(virtualhid::DrawerMemory(drawer, 5), 0);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);  // what was counted stays
  api->CloseHandle(h);
}

// How each firmware meets the open command, judged the way the drawer protocol judges it.
struct Behaviour {
  Firmware firmware;
  bool setSucceeds;
  bool getSucceeds;
  bool answered;  // byte 4 differs from the check byte
  std::uint8_t byte1;
  std::uint8_t byte2;
  int opens;
};

std::string FirmwareName(const ::testing::TestParamInfo<Behaviour>& info) {
  static const char* const kNames[] = {"Drawer", "Silent",     "ErrorReply",
                                       "NoAck",  "WriteFails", "None"};
  return kNames[static_cast<int>(info.param.firmware)];
}

class FirmwareBehaviour : public FirmwareTest, public ::testing::WithParamInterface<Behaviour> {};

TEST_P(FirmwareBehaviour, OpenCommand) {
  const Behaviour& b = GetParam();
  auto drawer = Drawer(b.firmware);
  HANDLE h = Open(drawer);
  api->SetLastError(0);
  EXPECT_EQ(SendRaw(h, kOpenCommand), b.setSucceeds);
  if (!b.setSucceeds) {
    EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
  }
  auto reply = Poll(h);
  ASSERT_EQ(reply.has_value(), b.getSucceeds);
  if (reply && b.setSucceeds) {
    EXPECT_EQ((*reply)[4] != kOpenCommand[4], b.answered);
    EXPECT_EQ((*reply)[1], b.byte1);
    EXPECT_EQ((*reply)[2], b.byte2);
  }
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), b.opens);
  EXPECT_EQ(virtualhid::CommandsReceived(drawer).size(), 1u);
  api->CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFirmware, FirmwareBehaviour,
    ::testing::Values(Behaviour{Firmware::Drawer, true, true, true, '+', 0x4F, 1},
                      Behaviour{Firmware::Silent, true, true, false, 0x57, 0x4F, 0},
                      Behaviour{Firmware::ErrorReply, true, true, true, 'E', 'C', 0},
                      Behaviour{Firmware::NoAck, true, true, true, '-', 0x4F, 0},
                      Behaviour{Firmware::WriteFails, false, true, false, 0, 0, 0},
                      Behaviour{Firmware::None, false, false, false, 0, 0, 0}),
    FirmwareName);

TEST_F(FirmwareTest, SilentFirmwareEchoesEveryCommandUnchanged) {
  auto drawer = Drawer(Firmware::Silent);
  HANDLE h = Open(drawer);
  const Report wrongCheck{0, 'W', 1, 2, 0x77};
  ASSERT_TRUE(SendRaw(h, wrongCheck));
  EXPECT_EQ(Poll(h), wrongCheck);
  ASSERT_TRUE(SendRaw(h, kOpenCommand));
  EXPECT_EQ(Poll(h), kOpenCommand);
  EXPECT_EQ(Poll(h), kOpenCommand);
  EXPECT_EQ(virtualhid::DrawerMemory(drawer, 79), 0);
  api->CloseHandle(h);
}

TEST_F(FirmwareTest, ReplyAfterPollsFailsThatManyGetsAfterEachCommand) {
  auto drawer = Drawer(Firmware::Drawer, 3);
  HANDLE h = Open(drawer);
  EXPECT_TRUE(Poll(h));  // no command yet: nothing to wait for
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(SendRaw(h, kOpenCommand));
    for (int i = 0; i < 3; ++i) {
      api->SetLastError(0);
      EXPECT_FALSE(Poll(h)) << "round " << round << " poll " << i;
      EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
    }
    auto reply = Poll(h);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[1], '+');
    EXPECT_TRUE(Poll(h));  // the answer stays until the next command
  }
  EXPECT_EQ(virtualhid::FeatureGets(drawer), 1 + 2 * 5);
  api->CloseHandle(h);
}

TEST_F(FirmwareTest, FeatureCallsCheckLengthReportIdAndAccess) {
  DeviceConfig c = virtualhid::ReadyDrawer();
  c.featureReportLength = 8;
  auto drawer = virtualhid::AddDevice(c);
  HANDLE h = Open(drawer);
  std::array<std::uint8_t, 8> report{0, 0x57, 0x4F, 0x00, 0x18, 0, 0, 0};

  api->SetLastError(0);
  EXPECT_FALSE(api->SetFeature(h, report.data(), 5));  // shorter than the feature report
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(api->GetFeature(h, report.data(), 7));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  report[0] = 3;  // the interface has no report IDs
  EXPECT_FALSE(api->SetFeature(h, report.data(), 8));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(virtualhid::CommandsReceived(drawer).empty());

  report[0] = 0;
  std::array<std::uint8_t, 16> big{};
  std::copy(report.begin(), report.end(), big.begin());
  EXPECT_TRUE(api->SetFeature(h, big.data(), 16));  // a longer buffer is fine
  EXPECT_TRUE(api->GetFeature(h, big.data(), 16));
  EXPECT_EQ(big[1], '+');
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);

  HANDLE query = Open(drawer, 0);
  ASSERT_NE(query, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(api->SetFeature(query, report.data(), 8));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(api->GetFeature(query, report.data(), 8));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  api->CloseHandle(query);
  api->CloseHandle(h);
}

}  // namespace
