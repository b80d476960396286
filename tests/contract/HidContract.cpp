// The HID library and CreateFileA on an interface: opening by its rights, identification,
// product string, preparsed data and capabilities, input buffer counts, feature reports, a
// handle whose interface has gone, and the exports the bindings resolve.
#include <cstring>

#include "hid/BindingTables.h"
#include "tests/contract/Backends.h"

namespace contract {
namespace {

using Hid = Contract;

TEST_P(Hid, OpeningFollowsTheInterfacesRights) {
  CONTRACT_NEEDS_HID_DEVICES();
  EXPECT_EQ(Open(backend->Add({}) + "9"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(api->CreateFile(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);

  DeviceDescription description;
  description.rights = DeviceDescription::Rights::None;
  const std::string refused = backend->Add(description);
  for (DWORD access : {GENERIC_READ | GENERIC_WRITE, DWORD{0}}) {
    EXPECT_EQ(Open(refused, access), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  }
  description.rights =
      DeviceDescription::Rights::QueryOnly;  // as the system keeps keyboards and mice
  const std::string queryOnly = backend->Add(description);
  EXPECT_EQ(Open(queryOnly), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE query = Open(queryOnly, 0);
  ASSERT_NE(query, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(api->CloseHandle(query));
}

TEST_P(Hid, AttributesAndProductStringComeFromTheDeviceOnAQueryHandleToo) {
  CONTRACT_NEEDS_HID_DEVICES();
  DeviceDescription description;
  description.product = "QV USB Cash \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94";  // ends in Hebrew
  const std::string path = backend->Add(description);
  for (DWORD access : {GENERIC_READ | GENERIC_WRITE, DWORD{0}}) {
    HANDLE h = Open(path, access);
    HIDD_ATTRIBUTES a{};
    a.Size = sizeof a;
    ASSERT_TRUE(api->GetAttributes(h, &a));
    EXPECT_EQ(a.Size, 12u);
    EXPECT_EQ(a.VendorID, 0x0483);
    EXPECT_EQ(a.ProductID, 0x5750);
    EXPECT_EQ(a.VersionNumber, 0x0201);

    // UTF-16 little-endian with a terminator; the length counts bytes: 2 * (17 + 1).
    std::array<std::uint8_t, 508> raw;
    raw.fill(0xEE);
    ASSERT_TRUE(api->GetProductString(h, raw.data(), 508));
    EXPECT_EQ(raw[0], 'Q');
    EXPECT_EQ(raw[1], 0);
    EXPECT_EQ(raw[24], 0xDE);  // U+05DE
    EXPECT_EQ(raw[25], 0x05);
    EXPECT_EQ(raw[34], 0);
    EXPECT_EQ(raw[35], 0);
    EXPECT_TRUE(api->GetProductString(h, raw.data(), 36));
    EXPECT_FALSE(api->GetProductString(h, raw.data(), 35));
    EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    api->CloseHandle(h);
  }
  description.product.reset();
  HANDLE none = Open(backend->Add(description), 0);
  std::array<std::uint8_t, 508> raw{};
  EXPECT_FALSE(api->GetProductString(none, raw.data(), 508));
  EXPECT_EQ(api->GetLastError(), ERROR_GEN_FAILURE);
  api->CloseHandle(none);
}

TEST_P(Hid, PreparsedDataCarriesTheCapsAndOutlivesItsHandleAndItsPlug) {
  CONTRACT_NEEDS_HID_DEVICES();
  HANDLE h = Open(backend->Add({}), 0);
  PHIDP_PREPARSED_DATA data = nullptr;
  PHIDP_PREPARSED_DATA second = nullptr;
  ASSERT_TRUE(api->GetPreparsedData(h, &data));
  ASSERT_TRUE(api->GetPreparsedData(h, &second));
  EXPECT_NE(data, second);
  api->CloseHandle(h);
  backend->Unplug();

  HIDP_CAPS caps{};
  ASSERT_EQ(api->GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.UsagePage, 0xFFA0);
  EXPECT_EQ(caps.Usage, 1);
  EXPECT_EQ(caps.InputReportByteLength, 5);
  EXPECT_EQ(caps.OutputReportByteLength, 0);
  EXPECT_EQ(caps.FeatureReportByteLength, 5);
  EXPECT_TRUE(api->FreePreparsedData(data));
  EXPECT_TRUE(api->FreePreparsedData(second));
  EXPECT_EQ(api->GetCaps(data, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_EQ(api->GetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_FALSE(api->FreePreparsedData(data));
}

TEST_P(Hid, InputBufferCountsBelongToEachHandleFromTwoTo512) {
  CONTRACT_NEEDS_HID_DEVICES();
  const std::string path = backend->Add({});
  HANDLE a = Open(path);
  HANDLE b = OpenReader(path);
  ULONG n = 0;
  ASSERT_TRUE(api->GetNumInputBuffers(a, &n));
  EXPECT_EQ(n, 32u);
  EXPECT_TRUE(api->SetNumInputBuffers(a, 128));
  EXPECT_TRUE(api->GetNumInputBuffers(a, &n));
  EXPECT_EQ(n, 128u);
  EXPECT_TRUE(api->GetNumInputBuffers(b, &n));
  EXPECT_EQ(n, 32u);
  for (ULONG bad : {0u, 1u, 513u}) {
    EXPECT_FALSE(api->SetNumInputBuffers(b, bad)) << bad;
    EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_TRUE(api->SetNumInputBuffers(b, 2));
  EXPECT_TRUE(api->SetNumInputBuffers(b, 512));
  api->CloseHandle(a);
  api->CloseHandle(b);
  EXPECT_FALSE(api->GetNumInputBuffers(a, &n));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_P(Hid, FeatureReportsTravelAsSentAndAQueryHandleExchangesNone) {
  CONTRACT_NEEDS_HID_DEVICES();
  const std::string path = backend->Add({});
  HANDLE query = Open(path, 0);
  Report report = kOpenCommand;
  EXPECT_FALSE(api->SetFeature(query, report.data(), 5));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(api->GetFeature(query, report.data(), 5));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(backend->Commands().empty());

  HANDLE h = Open(path);
  ASSERT_TRUE(api->SetFeature(h, report.data(), 5));
  const std::vector<std::uint8_t> sent(kOpenCommand.begin(), kOpenCommand.end());
  EXPECT_EQ(backend->Commands(), std::vector<std::vector<std::uint8_t>>{sent});
  Report reply{};
  ASSERT_TRUE(api->GetFeature(h, reply.data(), 5));
  EXPECT_EQ(reply, kOpenAck);
  api->CloseHandle(query);
  api->CloseHandle(h);
}

TEST_P(Hid, AHandleOfAnUnpluggedInterfaceAnswersDeviceNotConnectedEvenAfterAReplug) {
  CONTRACT_NEEDS_HID_DEVICES();
  const std::string path = backend->Add({});
  HANDLE h = Open(path);
  backend->Unplug();
  EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_FILE_NOT_FOUND);
  for (bool replugged : {false, true}) {
    if (replugged) backend->Plug();
    HIDD_ATTRIBUTES a{};
    a.Size = sizeof a;
    EXPECT_FALSE(api->GetAttributes(h, &a));
    EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    std::array<std::uint8_t, 508> raw{};
    EXPECT_FALSE(api->GetProductString(h, raw.data(), 508));
    EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    ULONG n = 0;
    EXPECT_FALSE(api->GetNumInputBuffers(h, &n));
    EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    Report report = kOpenCommand;
    EXPECT_FALSE(api->SetFeature(h, report.data(), 5));
    EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  }
  EXPECT_TRUE(api->CloseHandle(h));  // closing still works and ends the handle
}

// A binding resolves every export it names: each must exist, and the HID interface class is the
// system's.
TEST_P(Hid, EveryBoundExportExistsAndTheHidClassIsTheSystems) {
  for (const auto& row : hid::kHidBindings) {
    EXPECT_NE(hid::FindSymbol(api->Hid(), row.exportName), nullptr) << row.exportName;
  }
  for (const auto& row : hid::kSetupApiBindings) {
    EXPECT_NE(hid::FindSymbol(api->SetupApi(), row.exportName), nullptr) << row.exportName;
  }
  for (const char* name : {"CreateFileA", "CloseHandle", "ReadFileEx", "GetOverlappedResult",
                           "SleepEx", "CancelIo", "CancelIoEx", "GetLastError", "SetLastError",
                           "GetCurrentThreadId", "OpenThread", "QueueUserAPC"}) {
    EXPECT_NE(hid::FindSymbol(api->Kernel32(), name), nullptr) << name;
  }
  GUID guid{};
  api->GetHidGuid(&guid);
  EXPECT_EQ(std::memcmp(&guid, &kHidInterfaceClassGuid, sizeof guid), 0);

  // The services carry the exports the HID layer never calls as stubs that say so.
  if (!backend->HasHidDevices()) return;
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
}

INSTANTIATE_TEST_SUITE_P(Backends, Hid, ::testing::ValuesIn(AllBackends()), BackendName);

}  // namespace
}  // namespace contract
