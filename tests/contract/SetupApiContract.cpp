// The setup library: which HID interfaces a set holds, found through the two-call detail query
// the controller makes, their DevInst across plugs, and the life of a set.
#include "tests/contract/Backends.h"

namespace contract {
namespace {

struct Listed {
  std::string path;
  DWORD devInst;
  bool operator==(const Listed&) const = default;
};

class SetupApi : public Contract {
 protected:
  HDEVINFO NewSet(const GUID& interfaceClass = kHidInterfaceClassGuid) {
    return api->GetClassDevs(&interfaceClass, nullptr, nullptr,
                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  }
  std::vector<Listed> List() {
    HDEVINFO set = NewSet();
    std::vector<Listed> listed;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, i, &data); ++i) {
      DWORD needed = 0;
      EXPECT_FALSE(api->GetDetail(set, &data, nullptr, 0, &needed, nullptr));
      EXPECT_EQ(api->GetLastError(), ERROR_INSUFFICIENT_BUFFER);
      std::vector<std::uint8_t> buffer(needed);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = kDetailDataSize;
      SP_DEVINFO_DATA info{};
      info.cbSize = sizeof info;
      EXPECT_TRUE(api->GetDetail(set, &data, detail, needed, nullptr, &info));
      listed.push_back(
          {reinterpret_cast<const char*>(buffer.data() + kDetailPathOffset), info.DevInst});
    }
    EXPECT_EQ(api->GetLastError(), ERROR_NO_MORE_ITEMS);
    api->DestroyList(set);
    return listed;
  }
};

TEST_P(SetupApi, ASetOfAnotherClassIsEmptyAndASetIsDestroyedOnce) {
  backend->Add({});
  const GUID other = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  HDEVINFO set = NewSet(other);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_FALSE(api->EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, 0, &data));
  EXPECT_EQ(api->GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(api->DestroyList(set));
  EXPECT_FALSE(api->DestroyList(set));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_P(SetupApi, TheDevInstHoldsWhilePluggedAndIsNewAfterEveryReplug) {
  CONTRACT_NEEDS_HID_DEVICES();
  EXPECT_TRUE(List().empty());
  const std::string path = backend->Add({});
  const std::vector<Listed> first = List();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].path, path);
  EXPECT_NE(first[0].devInst, 0u);
  EXPECT_EQ(List(), first);
  backend->Unplug();
  EXPECT_TRUE(List().empty());
  backend->Plug();
  const std::vector<Listed> again = List();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_NE(again[0].devInst, first[0].devInst);
  EXPECT_EQ(List(), again);
}

INSTANTIATE_TEST_SUITE_P(Backends, SetupApi, ::testing::ValuesIn(AllBackends()), BackendName);

}  // namespace
}  // namespace contract
