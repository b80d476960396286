// The virtual "HID.dll": identification, product string, preparsed data and capabilities,
// input buffer counts; the full export list the bindings expect; injected faults.
#include <cstring>

#include "VirtualTesting.h"
#include "hid/BindingTables.h"

namespace {

using virtualhid::DeviceConfig;

class HidLibraryTest : public vtest::VirtualHidTest {};

TEST_F(HidLibraryTest, AttributesComeFromTheConfigurationUnlessIdentificationFails) {
  DeviceConfig c;
  c.vendorId = 0x0ACE;
  c.productId = 0xBEEF;
  c.version = 0x0213;
  auto device = virtualhid::AddDevice(c);
  c.identify = false;
  auto mute = virtualhid::AddDevice(c);

  HANDLE h = Open(device, 0);
  HIDD_ATTRIBUTES a{};
  a.Size = sizeof a;
  ASSERT_TRUE(api->GetAttributes(h, &a));
  EXPECT_EQ(a.VendorID, 0x0ACE);
  EXPECT_EQ(a.ProductID, 0xBEEF);
  EXPECT_EQ(a.VersionNumber, 0x0213);

  HANDLE m = Open(mute, 0);
  ASSERT_NE(m, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(api->GetAttributes(m, &a));
  EXPECT_NE(api->GetLastError(), 0u);
  api->CloseHandle(h);
  api->CloseHandle(m);
}

TEST_F(HidLibraryTest, ProductStringIsUtf16LittleEndianAndNulTerminated) {
  DeviceConfig c;
  c.product = "QV USB Cash \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94";  // ends in Hebrew
  auto device = virtualhid::AddDevice(c);
  HANDLE h = Open(device);

  std::array<std::uint8_t, 508> buffer;
  buffer.fill(0xCC);
  ASSERT_TRUE(api->GetProductString(h, buffer.data(), 508));
  std::u16string text;
  for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
    char16_t ch = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
    if (ch == 0) break;
    text.push_back(ch);
  }
  EXPECT_EQ(text, u"QV USB Cash \u05DE\u05D2\u05D9\u05E8\u05D4");
  EXPECT_EQ(buffer[2 * text.size()], 0);
  EXPECT_EQ(buffer[2 * text.size() + 1], 0);
  EXPECT_EQ(buffer[2 * text.size() + 2], 0xCC);  // nothing written past the terminator

  // The length counts bytes: the text and its terminator need 2 * (17 + 1).
  EXPECT_TRUE(api->GetProductString(h, buffer.data(), 36));
  EXPECT_FALSE(api->GetProductString(h, buffer.data(), 35));
  EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  api->CloseHandle(h);
}

TEST_F(HidLibraryTest, ProductStringFailsWhenTheDeviceHasNoneAndEmptyIsNotNone) {
  DeviceConfig c;
  auto none = virtualhid::AddDevice(c);
  c.product = "";
  auto empty = virtualhid::AddDevice(c);
  std::array<std::uint8_t, 508> buffer{};
  HANDLE h = Open(none);
  EXPECT_FALSE(api->GetProductString(h, buffer.data(), 508));
  api->CloseHandle(h);
  h = Open(empty);
  buffer.fill(0xCC);
  EXPECT_TRUE(api->GetProductString(h, buffer.data(), 508));
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
  api->CloseHandle(h);
}

TEST_F(HidLibraryTest, PreparsedDataCarriesTheCapsAndIsCountedUntilFreed) {
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
  PHIDP_PREPARSED_DATA second = nullptr;
  ASSERT_TRUE(api->GetPreparsedData(h, &second));
  EXPECT_NE(data, second);
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 2);
  api->CloseHandle(h);
  virtualhid::Unplug(device);  // the data is a copy: it outlives the handle and the plug

  HIDP_CAPS caps{};
  ASSERT_EQ(api->GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.FeatureReportByteLength, 5);
  EXPECT_EQ(caps.InputReportByteLength, 9);
  EXPECT_EQ(caps.OutputReportByteLength, 2);
  EXPECT_EQ(caps.UsagePage, 0xFF42);
  EXPECT_EQ(caps.Usage, 7);

  EXPECT_TRUE(api->FreePreparsedData(data));
  EXPECT_TRUE(api->FreePreparsedData(second));
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 0);
  EXPECT_EQ(api->GetCaps(data, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_EQ(api->GetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_FALSE(api->FreePreparsedData(data));
}

TEST_F(HidLibraryTest, InputBufferCountBelongsToEachHandle) {
  auto device = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  HANDLE a = Open(device);
  HANDLE b = Open(device, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  ULONG n = 0;
  ASSERT_TRUE(api->GetNumInputBuffers(a, &n));
  EXPECT_EQ(n, 32u);
  EXPECT_TRUE(api->SetNumInputBuffers(a, 128));
  EXPECT_TRUE(api->GetNumInputBuffers(a, &n));
  EXPECT_EQ(n, 128u);
  EXPECT_TRUE(api->GetNumInputBuffers(b, &n));
  EXPECT_EQ(n, 32u);

  for (ULONG bad : {0u, 1u, 513u}) {
    api->SetLastError(0);
    EXPECT_FALSE(api->SetNumInputBuffers(b, bad)) << bad;
    EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_TRUE(api->SetNumInputBuffers(b, 2));
  EXPECT_TRUE(api->SetNumInputBuffers(b, 512));
  api->CloseHandle(a);
  api->CloseHandle(b);
}

TEST_F(HidLibraryTest, HandlesOfAnEndedPlugStayDisconnectedAfterAReplug) {
  auto device = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  HANDLE h = Open(device);
  virtualhid::Unplug(device);
  virtualhid::Plug(device);
  HIDD_ATTRIBUTES a{};
  EXPECT_FALSE(api->GetAttributes(h, &a));
  EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  ULONG n = 0;
  EXPECT_FALSE(api->GetNumInputBuffers(h, &n));
  EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(Send(h, 'W', 79, 0));
  EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(virtualhid::Handles(device).size(), 1u);
  EXPECT_FALSE(virtualhid::Handles(device)[0].connected);
  EXPECT_TRUE(api->CloseHandle(h));  // closing still works and ends the handle
  EXPECT_EQ(virtualhid::OpenHandles(device), 0);
}

// A binding resolves every export it names, so each one must exist in the virtual libraries.
TEST_F(HidLibraryTest, EveryBoundExportExistsAndTheUnusedOnesFailAsNotImplemented) {
  for (const auto& row : hid::kHidBindings) {
    EXPECT_NE(hid::FindSymbol(api->Hid(), row.exportName), nullptr) << row.exportName;
  }
  for (const auto& row : hid::kSetupApiBindings) {
    EXPECT_NE(hid::FindSymbol(api->SetupApi(), row.exportName), nullptr) << row.exportName;
  }
  for (const char* name : {"CreateFileA", "CloseHandle", "ReadFileEx", "GetOverlappedResult",
                           "SleepEx", "CancelIo", "GetLastError", "SetLastError"}) {
    EXPECT_NE(hid::FindSymbol(api->Kernel32(), name), nullptr) << name;
  }

  using Flush = BOOLEAN(WINAPI*)(HANDLE);
  auto flush = hid::FunctionCast<Flush>(hid::FindSymbol(api->Hid(), "HidD_FlushQueue"));
  api->SetLastError(0);
  EXPECT_EQ(flush(nullptr), 0);
  EXPECT_EQ(api->GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  using OpenInf = HANDLE(WINAPI*)(PCSTR, PCSTR, DWORD, UINT*);
  auto openInf = hid::FunctionCast<OpenInf>(hid::FindSymbol(api->SetupApi(), "SetupOpenInfFileA"));
  api->SetLastError(0);
  EXPECT_EQ(openInf("x.inf", nullptr, 2, nullptr), nullptr);
  EXPECT_EQ(api->GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);

  GUID guid{};
  api->GetHidGuid(&guid);
  EXPECT_EQ(std::memcmp(&guid, &kHidInterfaceClassGuid, sizeof guid), 0);
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
