// The virtual "SetupApi.dll": interface sets, detail records, identities across plugging, and
// registry properties.
#include <cstring>

#include "VirtualTesting.h"

namespace {

using virtualhid::DeviceConfig;

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kInvalidUserBuffer = 1784;
constexpr DWORD kInvalidData = 13;

struct Found {
  std::string path;
  DWORD devInst;
};

class SetupApiTest : public vtest::VirtualHidTest {
 protected:
  HDEVINFO NewSet() {
    return api->GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr, kPresentInterfaces);
  }

  SP_DEVICE_INTERFACE_DATA Interface(HDEVINFO set, DWORD index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, index, &data));
    return data;
  }

  // The two-call detail query the controller makes.
  Found Detail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, SP_DEVINFO_DATA* info = nullptr) {
    DWORD needed = 0;
    EXPECT_FALSE(api->GetDetail(set, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<std::uint8_t> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = kDetailDataSize;
    SP_DEVINFO_DATA own{};
    SP_DEVINFO_DATA* devInfo = info != nullptr ? info : &own;
    devInfo->cbSize = sizeof(SP_DEVINFO_DATA);
    EXPECT_TRUE(api->GetDetail(set, &data, detail, needed, nullptr, devInfo));
    return {reinterpret_cast<const char*>(buffer.data() + kDetailPathOffset), devInfo->DevInst};
  }

  std::vector<Found> Enumerate() {
    HDEVINFO set = NewSet();
    std::vector<Found> found;
    for (DWORD i = 0;; ++i) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof data;
      if (!api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, i, &data)) break;
      found.push_back(Detail(set, data));
    }
    api->DestroyList(set);
    return found;
  }

  static DeviceConfig Named(const char* name) {
    DeviceConfig c;
    c.name = name;
    return c;
  }
};

TEST_F(SetupApiTest, ASetListsThePluggedInterfacesInOrderAndIsASnapshot) {
  auto a = virtualhid::AddDevice(Named("a"));
  auto b = virtualhid::AddDevice(Named("b"), false);
  auto c = virtualhid::AddDevice(Named("c"));

  HDEVINFO set = NewSet();
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  virtualhid::Plug(b);  // too late for this set
  virtualhid::Unplug(c);
  auto first = Interface(set, 0);
  auto second = Interface(set, 1);
  EXPECT_EQ(Detail(set, first).path, virtualhid::DevicePath(a));
  EXPECT_EQ(
      Detail(set, second).path.find("#{4d1e55b2-f16f-11cf-88cb-001111000030}") != std::string::npos,
      true);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_FALSE(api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 2, &data));
  EXPECT_EQ(api->GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(api->DestroyList(set));

  auto now = Enumerate();
  ASSERT_EQ(now.size(), 2u);
  EXPECT_EQ(now[0].path, virtualhid::DevicePath(a));
  EXPECT_EQ(now[1].path, virtualhid::DevicePath(b));
}

TEST_F(SetupApiTest, RecordSizesAreChecked) {
  virtualhid::AddDevice(Named("a"));
  HDEVINFO set = NewSet();
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data - 1;
  EXPECT_FALSE(api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 0, &data));
  EXPECT_EQ(api->GetLastError(), kInvalidUserBuffer);
  data = Interface(set, 0);

  DWORD needed = 0;
  EXPECT_FALSE(api->GetDetail(set, &data, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, kDetailPathOffset + virtualhid::DevicePath(0).size() + 1);

  std::vector<std::uint8_t> buffer(needed);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  detail->cbSize = static_cast<DWORD>(needed);  // the record's size, not the buffer's
  EXPECT_FALSE(api->GetDetail(set, &data, detail, needed, nullptr, &info));
  EXPECT_EQ(api->GetLastError(), kInvalidUserBuffer);
  detail->cbSize = kDetailDataSize;
  EXPECT_FALSE(api->GetDetail(set, &data, detail, needed - 1, nullptr, &info));
  EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  info.cbSize = 28;  // a 32-bit caller's record
  if (sizeof(SP_DEVINFO_DATA) != 28) {
    EXPECT_FALSE(api->GetDetail(set, &data, detail, needed, nullptr, &info));
    EXPECT_EQ(api->GetLastError(), kInvalidUserBuffer);
  }
  info.cbSize = sizeof info;
  EXPECT_TRUE(api->GetDetail(set, &data, detail, needed, nullptr, &info));
  EXPECT_EQ(info.DevInst, virtualhid::DevInst(0));
  api->DestroyList(set);
}

TEST_F(SetupApiTest, RegistryPropertiesLookLikeAHidInterface) {
  DeviceConfig c;
  c.vendorId = 0x0ACE;
  c.productId = 0x00B1;
  virtualhid::AddDevice(c);
  HDEVINFO set = NewSet();
  auto data = Interface(set, 0);
  SP_DEVINFO_DATA info{};
  Detail(set, data, &info);

  auto read = [&](DWORD code, DWORD* type) {
    std::vector<std::uint8_t> buffer(1024, 0);
    DWORD needed = 0;
    if (!api->GetProperty(set, &info, code, type, buffer.data(), 1024, &needed)) {
      return std::string();
    }
    return std::string(buffer.begin(), buffer.begin() + needed);
  };
  DWORD type = 0;
  const std::string ids = read(SPDRP_HARDWAREID, &type);
  EXPECT_EQ(type, REG_MULTI_SZ);
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ(ids.substr(ids.size() - 2), std::string("\0\0", 2));  // the list's end
  std::vector<std::string> entries;
  for (std::size_t at = 0; at < ids.size() && ids[at] != 0; at = ids.find('\0', at) + 1) {
    entries.push_back(ids.c_str() + at);
  }
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[0], "HID\\VID_0ACE&PID_00B1");
  EXPECT_EQ(entries[1], "HID\\VID_0ACE&PID_00B1&REV_0100");
  EXPECT_EQ(read(SPDRP_CLASS, &type), std::string("HIDClass\0", 9));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(read(SPDRP_CLASSGUID, &type),
            std::string("{745a17a0-74d3-11d0-b6fe-00a0c90f57da}\0", 39));
  EXPECT_EQ(read(SPDRP_CAPABILITIES, &type).size(), 4u);
  EXPECT_EQ(type, REG_DWORD);
  for (DWORD code : {SPDRP_DEVICEDESC, SPDRP_DRIVER, SPDRP_MFG, SPDRP_SERVICE, SPDRP_COMPATIBLEIDS,
                     SPDRP_ENUMERATOR_NAME}) {
    EXPECT_GT(read(code, &type).size(), 1u) << code;
  }

  std::array<std::uint8_t, 4> small{};
  DWORD needed = 0;
  EXPECT_FALSE(api->GetProperty(set, &info, SPDRP_CLASS, &type, small.data(), 4, &needed));
  EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, 9u);
  for (DWORD absent : {SPDRP_FRIENDLYNAME, SPDRP_UPPERFILTERS, DWORD{99}}) {
    EXPECT_FALSE(api->GetProperty(set, &info, absent, &type, small.data(), 4, &needed));
    EXPECT_EQ(api->GetLastError(), kInvalidData) << absent;
  }
  api->DestroyList(set);
}

TEST_F(SetupApiTest, SetsAreCountedAndAFaultMakesNoSet) {
  HDEVINFO set = NewSet();
  EXPECT_EQ(virtualhid::DeviceInfoSetsAlive(), 1);
  EXPECT_TRUE(api->DestroyList(set));
  EXPECT_EQ(virtualhid::DeviceInfoSetsAlive(), 0);

  virtualhid::FailNextCalls("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(NewSet(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(virtualhid::DeviceInfoSetsAlive(), 0);
}

}  // namespace
