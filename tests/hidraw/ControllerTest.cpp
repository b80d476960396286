// The HID layer and the drawer link on the hidraw services over the fake machine: the
// controller lists what the user may open, follows unplugging through the hot-plug broadcast,
// and the open sequence finds the drawer and opens it.
#include <cerrno>
#include <memory>

#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "drawer/public_u.h"
#include "hid/HidControllerClass.h"
#include "host/Application.h"
#include "host/portable/Clock.h"
#include "platform/virtual/Firmware.h"
#include "tests/Pump.h"
#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidraw::fake::Permission;
using hidrawtest::DrawerConfig;
using hidrawtest::HidrawTest;

// A keyboard the user may not open (root only), a mouse the user may only read, and the drawer.
class HidrawController : public HidrawTest {
 protected:
  void AddMachine() {
    hidraw::fake::DeviceConfig keyboard;
    keyboard.descriptor = hidraw::descriptors::kBootKeyboard;
    keyboard.usbProduct = "USB Keyboard";
    keyboard.permission = Permission::None;
    fake->Add(keyboard);
    hidraw::fake::DeviceConfig mouse;
    mouse.descriptor = hidraw::descriptors::kMouse;
    mouse.usbProduct = "USB Optical Mouse";
    mouse.permission = Permission::ReadOnly;
    mouse.vendorId = 0x046D;
    fake->Add(mouse);
    drawer = fake->Add(WithFirmware(DrawerConfig()));
  }

  // The drawer's feature reports answered by the same firmware model the virtual drawer runs.
  hidraw::fake::DeviceConfig WithFirmware(hidraw::fake::DeviceConfig config) {
    firmware =
        std::make_shared<virtualhid::detail::FirmwareModel>(virtualhid::Firmware::Drawer, 0, "", 5);
    auto model = firmware;
    config.onSetFeature = [model](const std::uint8_t* buffer, std::size_t length) {
      DWORD error = 0;
      return length == 5 && model->Set(buffer, error) ? 5 : -EPIPE;
    };
    config.onGetFeature = [model](std::uint8_t* buffer, std::size_t length) {
      DWORD error = 0;
      return length == 5 && model->Get(buffer, error) ? 5 : -EPIPE;
    };
    return config;
  }

  hidraw::fake::FakeSystem::DeviceId drawer = -1;
  std::shared_ptr<virtualhid::detail::FirmwareModel> firmware;
};

bool IsDrawer(hid::THidDevice* device) {
  HIDP_CAPS caps;
  device->Caps(caps);
  std::u16string name = device->ProductName();
  return caps.FeatureReportByteLength == 5 && name.find(u"QV USB Cash") != std::u16string::npos;
}

TEST_F(HidrawController, TheControllerListsTheDrawerAndFollowsItsRemoval) {
  AddMachine();
  host::TApplication app;
  auto* controller = new hid::THidDeviceController(nullptr);
  app.ProcessMessages();  // the first enumeration
  // The keyboard the user may not open is left out, as a failed CreateFileA leaves it out.
  ASSERT_EQ(controller->DeviceCount(), 2);
  int drawers = 0;
  for (int i = 0; i < controller->DeviceCount(); ++i) {
    hid::THidDevice* device = nullptr;
    ASSERT_TRUE(controller->CheckOutByIndex(device, i));
    if (IsDrawer(device)) {
      ++drawers;
      EXPECT_TRUE(device->ReadWriteAccess());
      EXPECT_EQ(device->Attributes().VendorID, 0x0483);
      EXPECT_EQ(device->PnPInfo()->DevicePath, fake->Node(drawer));
    } else {
      EXPECT_EQ(device->ProductName(), u"USB Optical Mouse");
      EXPECT_FALSE(device->ReadWriteAccess());  // listed through its query-only opening
    }
    delete device;  // checked back in
  }
  EXPECT_EQ(drawers, 1);

  fake->Unplug(drawer);
  fake->NotifyChange();
  till_testing::PumpUntil([&] { return controller->DeviceCount() == 1; });
  EXPECT_EQ(controller->DeviceCount(), 1);
  delete controller;
}

TEST_F(HidrawController, ACheckedOutDrawerDeliversItsInputReportsThroughTheReader) {
  AddMachine();
  host::TApplication app;
  struct Sink {
    std::vector<BYTE> got;
    void Data(hid::THidDevice*, BYTE id, const void* data, WORD size) {
      got.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
      got.insert(got.begin(), id);
    }
  } sink;
  auto* controller = new hid::THidDeviceController(nullptr);
  app.ProcessMessages();
  hid::THidDevice* device = nullptr;
  for (int i = 0; i < controller->DeviceCount() && device == nullptr; ++i) {
    ASSERT_TRUE(controller->CheckOutByIndex(device, i));
    if (!IsDrawer(device)) {
      delete device;
      device = nullptr;
    }
  }
  ASSERT_NE(device, nullptr);
  device->SetSleepTime(10);
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_NE(device->Reader(), nullptr);
  // The reader's read must be pending before the report comes, or the report goes to no one.
  ASSERT_TRUE(till_testing::PumpUntil([] { return hidraw::PendingReads() != 0; }));
  fake->QueueInput(drawer, {0x10, 0x20, 0x30, 0x40});
  till_testing::PumpUntil([&] { return !sink.got.empty(); });
  EXPECT_EQ(sink.got, (std::vector<BYTE>{0, 0x10, 0x20, 0x30, 0x40}));
  delete device;  // stops the reader, cancels its read, checks it in
  delete controller;
}

TEST_F(HidrawController, TheOpenSequenceFindsTheDrawerAndOpensIt) {
  host::portable::UseVirtualClock();
  AddMachine();
  public_u::global_vars = public_u::T_global_vars{};
  public_u::OpenBusy = false;
  auto* app = new host::TApplication();
  Data_module::TDataModule1* module = nullptr;
  Main_u::TMainForm* form = nullptr;
  app->CreateForm(module);
  app->CreateForm(form);
  app->ProcessMessages();
  EXPECT_TRUE(public_u::OpenDrawer());
  EXPECT_EQ(public_u::global_vars.DrawerError, 0);
  EXPECT_EQ(firmware->Opens(), 1);
  ASSERT_FALSE(firmware->Commands().empty());
  EXPECT_EQ(firmware->Commands().back(), (std::vector<std::uint8_t>{0x00, 0x57, 0x4F, 0x00, 0x18}));
  delete app;
  host::portable::UseRealClock();
}

}  // namespace
