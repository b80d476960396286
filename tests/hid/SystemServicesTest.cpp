// The controller on the system's own HID and setup libraries, loaded from the system folder:
// on Windows (and under Wine) the real Win32 path, whatever HID interfaces the machine has.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/LibraryLoader.h"
#include "hid/SetupApi.h"
#include "host/Application.h"
#ifdef _WIN32
#include "host/win32/KernelHandle.h"
#endif

namespace {

#ifdef _WIN32
// An export of the system's HID.dll, called directly rather than through the controller's binding.
template <class Fn>
Fn SystemHid(const char* name) {
  return hid::FunctionCast<Fn>(GetProcAddress(GetModuleHandleA("hid.dll"), name));
}

// What the system itself says of an interface, through a handle of our own.
struct SystemAnswer {
  bool opened = false;
  HIDP_CAPS caps{};
  std::u16string product;
};

SystemAnswer AskTheSystem(const std::string& path) {
  SystemAnswer answer;
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  const host::win32::KernelHandle file(h == INVALID_HANDLE_VALUE ? nullptr : h);
  answer.opened = static_cast<bool>(file);
  PHIDP_PREPARSED_DATA data = nullptr;
  if (file && SystemHid<BOOLEAN(WINAPI*)(HANDLE, PHIDP_PREPARSED_DATA*)>("HidD_GetPreparsedData")(
                  file.Get(), &data)) {
    SystemHid<LONG(WINAPI*)(PHIDP_PREPARSED_DATA, HIDP_CAPS*)>("HidP_GetCaps")(data, &answer.caps);
    SystemHid<BOOLEAN(WINAPI*)(PHIDP_PREPARSED_DATA)>("HidD_FreePreparsedData")(data);
  }
  char16_t text[127] = {};
  if (file && SystemHid<BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG)>("HidD_GetProductString")(
                  file.Get(), text, sizeof(text) - sizeof(char16_t))) {
    answer.product = text;
  }
  return answer;
}

TEST(SystemServices, TheSystemLibrariesBindAndEveryInterfaceReadsAsTheSystemDescribesIt) {
  host::TApplication app;
  auto* controller = new hid::THidDeviceController(nullptr);
  ASSERT_TRUE(hid::HidBound()) << "the system's HID.dll and SetupApi.dll did not bind";
  EXPECT_EQ(hid::SetupApiUsers(), 1);
  app.ProcessMessages();  // the first enumeration
  const int count = controller->DeviceCount();
  int wines = 0;
  for (int i = 0; i < count; ++i) {
    hid::THidDevice* device = nullptr;
    ASSERT_TRUE(controller->CheckOutByIndex(device, i));
    const std::string path = device->PnPInfo()->DevicePath;
    SCOPED_TRACE(path);
    EXPECT_EQ(device->Attributes().Size, 12u);
    const SystemAnswer system = AskTheSystem(path);
    ASSERT_TRUE(system.opened);
    HIDP_CAPS caps;
    device->Caps(caps);
    EXPECT_EQ(std::memcmp(&caps, &system.caps, sizeof(caps)), 0)
        << "usage " << caps.UsagePage << ":" << caps.Usage << ", the system's "
        << system.caps.UsagePage << ":" << system.caps.Usage;
    EXPECT_NE(caps.UsagePage, 0) << "an interface of no usage page";
    EXPECT_EQ(device->ProductName(), system.product);
    if (device->Attributes().VendorID == 0x845E) ++wines;
    delete device;  // a fresh object takes its slot
    EXPECT_FALSE(controller->Device(i)->CheckedOut());
  }
  // Under Wine its own mouse and keyboard (vendor 845E) are always there to compare.
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
    EXPECT_GE(wines, 1) << "Wine's own HID interfaces are missing from the list";
  }
  EXPECT_EQ(controller->DeviceCount(), count);
  delete controller;
  EXPECT_FALSE(hid::HidBound());
  EXPECT_EQ(hid::SetupApiUsers(), 0);
}
#endif

}  // namespace
