// The setup library over the fake directory: which interfaces a set holds, their device paths,
// their DevInst from one enumeration to the next and across re-plugs, and their properties.
#include <cstring>
#include <vector>

#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidrawtest::HidrawTest;

struct Listed {
  std::string path;
  DWORD devInst;
};

class HidrawSetupApi : public HidrawTest {
 protected:
  std::vector<Listed> List() {
    std::vector<Listed> listed;
    HDEVINFO set = api->GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof(data);
      if (!api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, index, &data)) {
        EXPECT_EQ(api->GetLastError(), ERROR_NO_MORE_ITEMS);
        break;
      }
      SP_DEVINFO_DATA devInfo{};
      devInfo.cbSize = sizeof(devInfo);
      DWORD needed = 0;
      EXPECT_FALSE(api->GetDetail(set, &data, nullptr, 0, &needed, &devInfo));
      EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
      std::vector<std::byte> buffer(needed);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = kDetailDataSize;
      EXPECT_TRUE(api->GetDetail(set, &data, detail, needed, nullptr, &devInfo));
      listed.push_back(
          {reinterpret_cast<const char*>(buffer.data() + kDetailPathOffset), devInfo.DevInst});
    }
    api->DestroyList(set);
    return listed;
  }

  // The property of the first interface, as the bytes the library wrote; empty when it failed.
  std::vector<BYTE> Property(DWORD code, DWORD* type = nullptr) {
    HDEVINFO set = api->GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    SP_DEVINFO_DATA devInfo{};
    devInfo.cbSize = sizeof(devInfo);
    std::vector<BYTE> out;
    if (api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 0, &data)) {
      std::vector<std::byte> buffer(256);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = kDetailDataSize;
      api->GetDetail(set, &data, detail, 256, nullptr, &devInfo);
      BYTE value[1024];
      DWORD needed = 0;
      DWORD regType = 0;
      if (api->GetProperty(set, &devInfo, code, &regType, value, sizeof value, &needed)) {
        out.assign(value, value + needed);
        if (type != nullptr) *type = regType;
      }
    }
    api->DestroyList(set);
    return out;
  }

  static std::vector<BYTE> Sz(const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
  }
};

TEST_F(HidrawSetupApi, ListsThePluggedInterfacesByTheirNodes) {
  const auto a = fake->Add(hidrawtest::DrawerConfig());
  const auto b = fake->Add(hidrawtest::DrawerConfig(), false);
  const auto c = fake->Add(hidrawtest::DrawerConfig());
  const std::vector<Listed> listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].path, fake->Node(a));
  EXPECT_EQ(listed[1].path, fake->Node(c));
  EXPECT_EQ(listed[0].path, "/dev/hidraw0");
  EXPECT_EQ(listed[1].path, "/dev/hidraw1");
  EXPECT_NE(listed[0].devInst, listed[1].devInst);
  EXPECT_NE(listed[0].devInst, 0u);
  fake->Plug(b);
  EXPECT_EQ(List().size(), 3u);
}

TEST_F(HidrawSetupApi, DevInstChangesWhenTheNodeIsMadeAgainForTheSameDevice) {
  const auto drawer = fake->Add(hidrawtest::DrawerConfig());
  const DWORD first = List().at(0).devInst;
  const std::string syspath = fake->Syspath(drawer);
  fake->Rebind(drawer);
  EXPECT_EQ(fake->Syspath(drawer), syspath);
  EXPECT_NE(List().at(0).devInst, first);
}

TEST_F(HidrawSetupApi, PropertiesLinuxHasAnEquivalentFor) {
  fake->Add(hidrawtest::DrawerConfig());
  DWORD type = 0;
  EXPECT_EQ(Property(SPDRP_DEVICEDESC, &type), Sz("QV USB Cash Drawer"));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Property(SPDRP_MFG), Sz("QV"));
  EXPECT_EQ(Property(SPDRP_DRIVER), Sz("hid-generic"));
  EXPECT_EQ(Property(SPDRP_SERVICE), Sz("usbhid"));
  EXPECT_EQ(Property(SPDRP_LOCATION_INFORMATION), Sz("usb-0000:00:14.0-2/input0"));
  EXPECT_EQ(Property(SPDRP_ENUMERATOR_NAME), Sz("HID"));

  std::vector<BYTE> ids = Property(SPDRP_HARDWAREID, &type);
  EXPECT_EQ(type, REG_MULTI_SZ);
  const std::string expected = std::string("HID\\VID_0483&PID_5750&REV_0201") + '\0' +
                               "HID\\VID_0483&PID_5750" + '\0' + '\0';
  EXPECT_EQ(std::string(ids.begin(), ids.end()), expected);

  std::vector<BYTE> bus = Property(SPDRP_BUSNUMBER, &type);
  EXPECT_EQ(type, REG_DWORD);
  ASSERT_EQ(bus.size(), 4u);
  EXPECT_EQ(bus[0], 1);

  // Windows notions with no Linux twin are absent, as a missing property is on Windows.
  EXPECT_TRUE(Property(SPDRP_CLASSGUID).empty());
  EXPECT_EQ(api->GetLastError(), hidraw::kErrorInvalidData);
  EXPECT_TRUE(Property(SPDRP_UPPERFILTERS).empty());
  EXPECT_TRUE(Property(SPDRP_FRIENDLYNAME).empty());
}

TEST_F(HidrawSetupApi, ADeviceOnAnotherBusDescribesItselfByItsHidName) {
  hidraw::fake::DeviceConfig config = hidrawtest::DrawerConfig();
  config.usb = false;
  fake->Add(config);
  EXPECT_EQ(Property(SPDRP_DEVICEDESC), Sz("QV QV USB Cash Drawer"));
  EXPECT_TRUE(Property(SPDRP_MFG).empty());
  EXPECT_TRUE(Property(SPDRP_BUSNUMBER).empty());
}

TEST_F(HidrawSetupApi, PropertyBufferTooSmallTellsTheSizeNeeded) {
  fake->Add(hidrawtest::DrawerConfig());
  HDEVINFO set = api->GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                   DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  ASSERT_TRUE(api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 0, &data));
  SP_DEVINFO_DATA devInfo{};
  devInfo.cbSize = sizeof(devInfo);
  std::vector<std::byte> buffer(256);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  detail->cbSize = kDetailDataSize;
  ASSERT_TRUE(api->GetDetail(set, &data, detail, 256, nullptr, &devInfo));
  BYTE small[2];
  DWORD needed = 0;
  EXPECT_FALSE(api->GetProperty(set, &devInfo, SPDRP_MFG, nullptr, small, sizeof small, &needed));
  EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, 3u);  // "QV" and its NUL
  devInfo.DevInst += 1;
  EXPECT_FALSE(api->GetProperty(set, &devInfo, SPDRP_MFG, nullptr, small, sizeof small, &needed));
  EXPECT_EQ(api->GetLastError(), hidraw::kErrorNoSuchDevinst);
  api->DestroyList(set);
}

}  // namespace
