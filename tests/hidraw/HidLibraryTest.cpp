// The HID library and CreateFileA over the fake device calls where hidraw has rules of its own:
// the open modes, the product string off USB, capabilities from descriptors, and feature reports
// in the Windows layout. The library's contract is tests/contract's.
#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidrawtest::DrawerConfig;
using hidrawtest::HidrawTest;

using HidrawHidLibrary = HidrawTest;

std::u16string ProductOf(hidrawtest::Api& api, HANDLE h) {
  char16_t buffer[254] = {};
  return api.GetProductString(h, buffer, sizeof buffer) ? std::u16string(buffer) : u"";
}

HIDP_CAPS CapsOf(hidrawtest::Api& api, HANDLE h) {
  HIDP_CAPS caps{};
  PHIDP_PREPARSED_DATA data = nullptr;
  if (!api.GetPreparsedData(h, &data)) return caps;
  EXPECT_EQ(api.GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_TRUE(api.FreePreparsedData(data));
  return caps;
}

TEST_F(HidrawHidLibrary, OpensWithTheAccessAsked) {
  const auto d = fake->Add(DrawerConfig());
  HANDLE rw = Open(d);
  HANDLE query = Open(d, 0);
  HANDLE readOnly = Open(d, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  HANDLE writeOnly = Open(d, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  for (HANDLE h : {rw, query, readOnly, writeOnly}) ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<int> modes = fake->OpenModes(d);
  std::sort(modes.begin(), modes.end());
  std::vector<int> expected = {O_RDWR, O_RDONLY, O_RDONLY, O_WRONLY};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(modes, expected);
  for (HANDLE h : {rw, query, readOnly, writeOnly}) EXPECT_TRUE(api->CloseHandle(h));
}

TEST_F(HidrawHidLibrary, OnlyAnExistingNodeIsOpened) {
  const auto d = fake->Add(DrawerConfig());
  EXPECT_EQ(
      api->CreateFile(fake->Node(d).c_str(), 0, 0, nullptr, 2 /* CREATE_ALWAYS */, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(HidrawHidLibrary, ProductStringWithoutAUsbDeviceIsTheHidName) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.usb = false;
  config.hidName = "Virtual Cash Drawer";
  HANDLE h = Open(fake->Add(config), 0);
  EXPECT_EQ(ProductOf(*api, h), u"Virtual Cash Drawer");
  api->CloseHandle(h);
}

TEST_F(HidrawHidLibrary, CapabilitiesOfEveryKindOfDevice) {
  struct Case {
    hidraw::descriptors::Bytes descriptor;
    USHORT page, usage, input, output, feature;
  };
  const Case cases[] = {
      {hidraw::descriptors::kDrawer, 0xFFA0, 1, 5, 0, 5},
      {hidraw::descriptors::kBootKeyboard, 1, 6, 9, 2, 0},
      {hidraw::descriptors::kMouse, 1, 2, 4, 0, 0},
      {hidraw::descriptors::kNumberedFeatures, 0xFF00, 0x20, 4, 0, 8},
  };
  for (const Case& c : cases) {
    hidraw::fake::DeviceConfig config = DrawerConfig();
    config.descriptor = c.descriptor;
    HANDLE h = Open(fake->Add(config), 0);  // a query-only handle answers them too
    const HIDP_CAPS caps = CapsOf(*api, h);
    EXPECT_EQ(caps.UsagePage, c.page);
    EXPECT_EQ(caps.Usage, c.usage);
    EXPECT_EQ(caps.InputReportByteLength, c.input);
    EXPECT_EQ(caps.OutputReportByteLength, c.output);
    EXPECT_EQ(caps.FeatureReportByteLength, c.feature);
    api->CloseHandle(h);
  }
}

TEST_F(HidrawHidLibrary, AMalformedDescriptorGivesNoPreparsedData) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.descriptor = {0x05, 0x01, 0xA1};
  HANDLE h = Open(fake->Add(config));
  PHIDP_PREPARSED_DATA data = nullptr;
  EXPECT_FALSE(api->GetPreparsedData(h, &data));
  EXPECT_EQ(api->GetLastError(), hidraw::kErrorInvalidData);
  HIDP_CAPS caps{};
  EXPECT_EQ(api->GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(&caps), &caps),
            HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_FALSE(api->FreePreparsedData(reinterpret_cast<PHIDP_PREPARSED_DATA>(&caps)));
  api->CloseHandle(h);
}

TEST_F(HidrawHidLibrary, UnnumberedFeatureReportsTravelWithAZeroInFront) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.featureReplies[0] = {0, '+', 79, 0, 0x54};
  const auto d = fake->Add(config);
  HANDLE h = Open(d);
  std::uint8_t command[5] = {0, 'W', 79, 0, 'W' ^ 79};
  ASSERT_TRUE(api->SetFeature(h, command, 5));
  std::uint8_t reply[5] = {0, 0, 0, 0, 0};
  ASSERT_TRUE(api->GetFeature(h, reply, 5));  // the kernel gets the ID in front too
  EXPECT_EQ(fake->FeatureGets(d).at(0), (std::vector<std::uint8_t>{0, 0, 0, 0, 0}));

  // A report ID on a device that numbers none, and a buffer shorter than the report.
  std::uint8_t numbered[5] = {1, 0, 0, 0, 0};
  EXPECT_FALSE(api->SetFeature(h, numbered, 5));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(api->GetFeature(h, command, 4));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(fake->FeatureSets(d).size(), 1u);
  api->CloseHandle(h);
}

TEST_F(HidrawHidLibrary, NumberedFeatureReportsMoveExactlyTheirOwnLength) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.descriptor = hidraw::descriptors::kNumberedFeatures;
  config.featureReplies[7] = {7, 1, 2, 3, 4, 5, 6, 7};
  const auto d = fake->Add(config);
  HANDLE h = Open(d);
  // The caller's buffer is FeatureReportByteLength (8) long; report 3 is 3 bytes with its ID.
  std::uint8_t report3[8] = {3, 0xAA, 0xBB, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_TRUE(api->SetFeature(h, report3, 8));
  EXPECT_EQ(fake->FeatureSets(d).at(0), (std::vector<std::uint8_t>{3, 0xAA, 0xBB}));

  std::uint8_t report7[8] = {7};
  ASSERT_TRUE(api->GetFeature(h, report7, 8));
  EXPECT_EQ(fake->FeatureGets(d).at(0).size(), 8u);
  EXPECT_EQ(std::vector<std::uint8_t>(report7, report7 + 8),
            (std::vector<std::uint8_t>{7, 1, 2, 3, 4, 5, 6, 7}));

  // An ID the device has no feature report for (9 is an input report), and ID 0.
  std::uint8_t other[8] = {9};
  EXPECT_FALSE(api->GetFeature(h, other, 8));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  other[0] = 0;
  EXPECT_FALSE(api->SetFeature(h, other, 8));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  // A stalled request (no reply for report 3) is the device's failure.
  report3[0] = 3;
  EXPECT_FALSE(api->GetFeature(h, report3, 8));
  EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
  api->CloseHandle(h);
}

TEST_F(HidrawHidLibrary, FailingFeatureCallsReportTheDevicesError) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.onSetFeature = [](const std::uint8_t*, std::size_t) { return -ETIMEDOUT; };
  HANDLE h = Open(fake->Add(config));
  std::uint8_t report[5] = {0, 'W', 79, 0, 'W' ^ 79};
  EXPECT_FALSE(api->SetFeature(h, report, 5));
  EXPECT_EQ(api->GetLastError(), hidraw::kErrorSemTimeout);
  api->CloseHandle(h);
}

TEST(HidrawErrors, ErrnoValuesBecomeWindowsCodes) {
  EXPECT_EQ(hidraw::ErrorOfErrno(EACCES), ERROR_ACCESS_DENIED);
  EXPECT_EQ(hidraw::ErrorOfErrno(EPERM), ERROR_ACCESS_DENIED);
  EXPECT_EQ(hidraw::ErrorOfErrno(ENOENT), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hidraw::ErrorOfErrno(ENODEV), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(hidraw::ErrorOfErrno(ENXIO), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(hidraw::ErrorOfErrno(EBADF), ERROR_INVALID_HANDLE);
  EXPECT_EQ(hidraw::ErrorOfErrno(EINVAL), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(hidraw::ErrorOfErrno(ENOMEM), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(hidraw::ErrorOfErrno(EBUSY), hidraw::kErrorBusy);
  EXPECT_EQ(hidraw::ErrorOfErrno(ENOTTY), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(hidraw::ErrorOfErrno(EPIPE), ERROR_GEN_FAILURE);
  EXPECT_EQ(hidraw::ErrorOfErrno(EIO), ERROR_GEN_FAILURE);
}

}  // namespace
