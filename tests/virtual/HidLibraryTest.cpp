// The virtual "HID.dll" where an interface's configuration decides: identification, product
// string, capabilities; injected faults. The library's contract is tests/contract's.
#include "VirtualTesting.h"

namespace {

using virtualhid::DeviceConfig;

class HidLibraryTest : public vtest::VirtualHidTest {};

TEST_F(HidLibraryTest, AMuteInterfaceIsNotIdentifiedAndAnEmptyProductStringIsOne) {
  DeviceConfig c;
  c.identify = false;
  c.product = "";
  HANDLE h = Open(virtualhid::AddDevice(c), 0);
  HIDD_ATTRIBUTES a{};
  a.Size = sizeof a;
  EXPECT_FALSE(api->GetAttributes(h, &a));
  EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
  std::array<std::uint8_t, 508> buffer;
  buffer.fill(0xCC);
  EXPECT_TRUE(api->GetProductString(h, buffer.data(), 508));
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
  api->CloseHandle(h);
}

TEST_F(HidLibraryTest, CapabilitiesComeFromTheConfigurationAndPreparsedDataIsCounted) {
  DeviceConfig c;
  c.featureReportLength = 5;
  c.inputReportLength = 9;
  c.outputReportLength = 2;
  c.usagePage = 0xFF42;
  c.usage = 7;
  auto device = virtualhid::AddDevice(c);
  HANDLE h = Open(device, 0);  // a query-only handle is enough
  PHIDP_PREPARSED_DATA data = nullptr;
  ASSERT_TRUE(api->GetPreparsedData(h, &data));
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 1);
  api->CloseHandle(h);
  HIDP_CAPS caps{};
  ASSERT_EQ(api->GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.FeatureReportByteLength, 5);
  EXPECT_EQ(caps.InputReportByteLength, 9);
  EXPECT_EQ(caps.OutputReportByteLength, 2);
  EXPECT_EQ(caps.UsagePage, 0xFF42);
  EXPECT_EQ(caps.Usage, 7);

  EXPECT_TRUE(api->FreePreparsedData(data));
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 0);
}

TEST_F(HidLibraryTest, InjectedFaultsFailTheNextCallsThenWearOff) {
  auto device = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  HANDLE h = Open(device);
  ASSERT_TRUE(virtualhid::FailNextCalls("HidD_SetFeature", 2, ERROR_GEN_FAILURE));
  EXPECT_FALSE(Send(h, 'W', 79, 0));
  EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_FALSE(Send(h, 'W', 79, 0));
  EXPECT_TRUE(virtualhid::CommandsReceived(device).empty());  // refused before the firmware
  EXPECT_TRUE(Send(h, 'W', 79, 0));
  EXPECT_EQ(virtualhid::DrawerOpens(device), 1);

  ASSERT_TRUE(virtualhid::FailNextCalls("CreateFileA", 1, ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(device), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE again = Open(device);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(virtualhid::FailNextCalls("HidD_NoSuchCall", 1, ERROR_GEN_FAILURE));
  EXPECT_FALSE(virtualhid::FailNextCalls("SleepEx", 1, ERROR_GEN_FAILURE));
  api->CloseHandle(h);
  api->CloseHandle(again);
}

}  // namespace
