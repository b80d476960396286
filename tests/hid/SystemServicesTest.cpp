// The controller on the system's own HID and setup libraries, loaded from the system folder:
// on Windows (and under Wine) the real Win32 path, whatever HID interfaces the machine has.
#include <gtest/gtest.h>

#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/SetupApi.h"
#include "host/Application.h"

namespace {

#ifdef _WIN32
TEST(SystemServices, TheSystemLibrariesBindAndEveryListedInterfaceCanBeCheckedOutAndBack) {
  host::TApplication app;
  auto* controller = new hid::THidDeviceController(nullptr);
  ASSERT_TRUE(hid::HidBound()) << "the system's HID.dll and SetupApi.dll did not bind";
  EXPECT_EQ(hid::SetupApiUsers(), 1);
  app.ProcessMessages();  // the first enumeration
  const int count = controller->DeviceCount();
  for (int i = 0; i < count; ++i) {
    hid::THidDevice* device = controller->Device(i);
    EXPECT_FALSE(device->PnPInfo()->DevicePath.empty());
    EXPECT_EQ(device->Attributes().Size, 12u);
  }
  // Each interface can be taken, asked for its capabilities and given back.
  for (int i = 0; i < count; ++i) {
    hid::THidDevice* device = nullptr;
    ASSERT_TRUE(controller->CheckOutByIndex(device, i));
    HIDP_CAPS caps;
    device->Caps(caps);
    device->ProductName();
    delete device;  // a fresh object takes its slot
    EXPECT_FALSE(controller->Device(i)->CheckedOut());
  }
  EXPECT_EQ(controller->DeviceCount(), count);
  delete controller;
  EXPECT_FALSE(hid::HidBound());
  EXPECT_EQ(hid::SetupApiUsers(), 0);
}
#endif

}  // namespace
