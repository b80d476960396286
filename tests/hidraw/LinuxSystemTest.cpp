// The services over the machine itself (libudev and the kernel): the enumeration against what
// sysfs shows, and the kernel's answers for nodes that are not hidraw interfaces.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/hidraw/HidrawTesting.h"

namespace {

// The device paths of the interfaces the setup library lists.
std::multiset<std::string> ListedPaths(hidrawtest::Api& api) {
  std::multiset<std::string> paths;
  HDEVINFO set = api.GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  EXPECT_NE(set, INVALID_HANDLE_VALUE);
  if (set == INVALID_HANDLE_VALUE) return paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!api.EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, index, &data)) break;
    std::vector<std::byte> buffer(512);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = kDetailDataSize;
    SP_DEVINFO_DATA devInfo{};
    devInfo.cbSize = sizeof(devInfo);
    EXPECT_TRUE(
        api.GetDetail(set, &data, detail, static_cast<DWORD>(buffer.size()), nullptr, &devInfo));
    EXPECT_NE(devInfo.DevInst, 0u);
    paths.insert(reinterpret_cast<const char*>(buffer.data() + kDetailPathOffset));
  }
  EXPECT_TRUE(api.DestroyList(set));
  return paths;
}

TEST(HidrawLinuxSystem, ListsEveryHidrawInterfaceThatSysfsShows) {
  hidraw::Registration registration(hidraw::LinuxSystem());
  hidrawtest::Api api;
  std::multiset<std::string> nodes;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", ec)) {
    nodes.insert("/dev/" + entry.path().filename().string());
  }
  EXPECT_EQ(ListedPaths(api), nodes);
  if (nodes.empty()) {
    GTEST_SKIP() << "no hidraw interface on this machine: an empty list matches any enumeration";
  }
  // Each one opens without access rights and tells its attributes, unless its node keeps this
  // user out: not readable, or not there at all (a container that sees the host's sysfs).
  for (const std::string& node : nodes) {
    HANDLE h = api.CreateFile(node.c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = api.GetLastError();
      EXPECT_TRUE(error == ERROR_ACCESS_DENIED ||
                  (error == ERROR_FILE_NOT_FOUND && !std::filesystem::exists(node, ec)))
          << node << ": error " << error;
      continue;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    EXPECT_TRUE(api.GetAttributes(h, &attributes)) << node;
    EXPECT_TRUE(api.CloseHandle(h));
  }
  EXPECT_EQ(hidraw::OpenHandles(), 0);
}

TEST(HidrawLinuxSystem, NodesThatAreNoHidrawInterfacesGetTheRightErrors) {
  hidraw::Registration registration(hidraw::LinuxSystem());
  hidrawtest::Api api;

  // A character device that is no hidraw interface opens, but answers no HID request.
  HANDLE null = api.CreateFile("/dev/null", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING,
                               0, nullptr);
  ASSERT_NE(null, INVALID_HANDLE_VALUE);
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  EXPECT_FALSE(api.GetAttributes(null, &attributes));
  EXPECT_EQ(api.GetLastError(), ERROR_NOT_SUPPORTED);
  PHIDP_PREPARSED_DATA data = nullptr;
  EXPECT_FALSE(api.GetPreparsedData(null, &data));
  EXPECT_EQ(api.GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(api.CloseHandle(null));

  // A plain file is not a device at all; a missing path is missing.
  const std::string file =
      (std::filesystem::temp_directory_path() / "hidraw-linux-system-test.txt").string();
  std::ofstream(file) << "not a device";
  EXPECT_EQ(api.CreateFile(file.c_str(), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), ERROR_FILE_NOT_FOUND);
  std::remove(file.c_str());
  EXPECT_EQ(api.CreateFile("/dev/no-such-hidraw", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hidraw::OpenHandles(), 0);
}

}  // namespace
