// The services over the machine itself (libudev and the kernel), as far as a machine without
// HID devices shows them: enumeration and the watch start, and the kernel's answers for nodes
// that are not hidraw interfaces become the right errors.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/hidraw/HidrawTesting.h"

namespace {

TEST(HidrawLinuxSystem, EnumeratesAndOpensThroughTheKernel) {
  hidraw::Registration registration(hidraw::LinuxSystem());
  hidrawtest::Api api;

  HDEVINFO set = api.GetClassDevs(&kHidInterfaceClassGuid, nullptr, nullptr,
                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  DWORD count = 0;
  for (;; ++count) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!api.EnumInterfaces(set, nullptr, &kHidInterfaceClassGuid, count, &data)) break;
  }
  EXPECT_TRUE(api.DestroyList(set));
  std::error_code ec;
  std::size_t nodes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", ec)) {
    static_cast<void>(entry);
    ++nodes;
  }
  EXPECT_LE(count, nodes);  // every interface listed has a sysfs entry

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
