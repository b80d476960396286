// The device object over the virtual HID services: opening, identification, the open gate,
// handles, buffer counts, caches and unplugging.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/Kernel32.h"
#include "hid/SetupApi.h"
#include "host/Application.h"
#include "platform/virtual/VirtualHid.h"

namespace {

using hid::THidDevice;
using hid::THidPnPInfo;

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    ASSERT_TRUE(hid::BindSetupApi());
    ASSERT_TRUE(hid::BindHid());
    ASSERT_TRUE(hid::BindKernel32());
  }
  void TearDown() override {
    hid::ReleaseKernel32();
    hid::ReleaseHid();
    hid::ReleaseSetupApi();
    virtualhid::Reset();
  }

  std::unique_ptr<THidDevice> Open(virtualhid::DeviceId id) {
    auto info = std::make_unique<THidPnPInfo>(virtualhid::DevInst(id), virtualhid::DevicePath(id));
    return std::make_unique<THidDevice>(std::move(info), nullptr, hid::BoundHidServices());
  }

  // The message of the EControllerError that building a device raises, or "" when none.
  std::string ConstructionError(virtualhid::DeviceId id) {
    try {
      Open(id);
    } catch (const hid::EControllerError& e) {
      return e.what();
    }
    return "";
  }

  host::TApplication app;
};

struct Unplugs {
  int calls = 0;
  void OnUnplugged(THidDevice*) { ++calls; }
  void OnData(THidDevice*, BYTE, const void*, WORD) {}
};

TEST_F(DeviceTest, ConstructionIdentifiesAndLeavesNoHandleOpen) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto device = Open(id);
  EXPECT_EQ(device->Attributes().Size, 12u);
  EXPECT_EQ(device->Attributes().VendorID, virtualhid::Config(id)->vendorId);
  EXPECT_EQ(device->Attributes().ProductID, virtualhid::Config(id)->productId);
  EXPECT_TRUE(device->ReadWriteAccess());
  EXPECT_TRUE(device->PluggedIn());
  EXPECT_FALSE(device->CheckedOut());
  EXPECT_EQ(virtualhid::OpenHandles(id), 0);
  EXPECT_EQ(device->SleepTime(), 100);
}

TEST_F(DeviceTest, ConstructionFailuresRaiseTheirOwnMessages) {
  auto cfg = virtualhid::ReadyDrawer();
  cfg.access = virtualhid::Access::None;
  auto closed = virtualhid::AddDevice(cfg);
  cfg.access = virtualhid::Access::ReadWrite;
  cfg.identify = false;
  auto anonymous = virtualhid::AddDevice(cfg);
  EXPECT_EQ(ConstructionError(closed), "device cannot be opened");
  EXPECT_EQ(ConstructionError(anonymous), "device cannot be identified");
  EXPECT_EQ(virtualhid::OpenHandles(), 0);  // the half-built object closed what it opened
}

TEST_F(DeviceTest, QueryOnlyDeviceIsBuiltButNeverStartsAReader) {
  auto cfg = virtualhid::ReadyDrawer();
  cfg.access = virtualhid::Access::QueryOnly;
  auto id = virtualhid::AddDevice(cfg);
  auto device = Open(id);
  EXPECT_FALSE(device->ReadWriteAccess());
  device->SetCheckedOut(true);
  Unplugs sink;
  device->SetOnData(hid::THidDataEvent::Of<&Unplugs::OnData>(&sink));
  EXPECT_EQ(device->Reader(), nullptr);
  // Feature calls go through the query-only handle, which the interface refuses.
  BYTE report[5] = {0, 0x57, 0x4F, 0, 0x18};
  EXPECT_FALSE(device->WriteReport(report, 5));
  ASSERT_EQ(virtualhid::Handles(id).size(), 1u);
  EXPECT_EQ(virtualhid::Handles(id)[0].access, 0u);
  device->SetOnData(nullptr);
}

TEST_F(DeviceTest, OpenGateKeepsHandlesShutUnlessCheckedOutOrAnnouncing) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto device = Open(id);
  EXPECT_TRUE(device->ProductName().empty());  // never fetched, and the gate is closed
  EXPECT_FALSE(device->OpenSyncHandle());
  EXPECT_FALSE(device->OpenAsyncHandle(hid::TAsyncDirection::Read));
  device->SetAnnouncing(true);
  EXPECT_EQ(device->ProductName(), u"QV USB Cash Drawer");
  device->SetAnnouncing(false);
  EXPECT_EQ(device->ProductName(), u"QV USB Cash Drawer");  // the cache answers now
  EXPECT_EQ(virtualhid::OpenHandles(id), 0);
}

TEST_F(DeviceTest, ProductNameClosesTheSyncHandleAndBufferCountsFollowIt) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto device = Open(id);
  device->SetCheckedOut(true);
  device->SetNumInputBuffers(128);
  EXPECT_EQ(device->NumInputBuffers(), 128);
  EXPECT_TRUE(device->SyncHandleOpen());
  int handles = virtualhid::OpenHandles(id);
  device->SetNumInputBuffers(128);  // the same value: nothing at all happens
  EXPECT_EQ(virtualhid::OpenHandles(id), handles);
  device->ProductName();
  EXPECT_FALSE(device->SyncHandleOpen());
  EXPECT_EQ(device->NumInputBuffers(), 0);
  // The next opening restores the count the device asked for last.
  // Reopened with 0 cached, nothing is asked for: the count is the fresh handle's default.
  EXPECT_TRUE(device->OpenSyncHandle());
  EXPECT_EQ(device->NumInputBuffers(), 32);
  device->SetNumOverlappedBuffers(128);
  EXPECT_EQ(device->NumOverlappedBuffers(), 128);
  EXPECT_TRUE(device->AsyncHandleOpen(hid::TAsyncDirection::Read));
}

TEST_F(DeviceTest, SleepTimeTakesOnlyTenToTenThousand) {
  auto device = Open(virtualhid::AddDevice(virtualhid::ReadyDrawer()));
  device->SetSleepTime(9);
  EXPECT_EQ(device->SleepTime(), 100);
  device->SetSleepTime(10001);
  EXPECT_EQ(device->SleepTime(), 100);
  device->SetSleepTime(10);
  EXPECT_EQ(device->SleepTime(), 10);
  device->SetSleepTime(10000);
  EXPECT_EQ(device->SleepTime(), 10000);
}

TEST_F(DeviceTest, UnplugClosesEverythingAndFiresOnce) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto device = Open(id);
  device->SetCheckedOut(true);
  Unplugs sink;
  device->SetOnUnplugged(hid::THidPlugEvent::Of<&Unplugs::OnUnplugged>(&sink));
  device->SetNumInputBuffers(128);
  device->SetNumOverlappedBuffers(128);
  device->Unplug();
  device->Unplug();
  EXPECT_EQ(sink.calls, 1);
  EXPECT_FALSE(device->PluggedIn());
  EXPECT_EQ(virtualhid::OpenHandles(id), 0);
  EXPECT_FALSE(device->OpenSyncHandle());  // the gate is shut for good
  BYTE buffer[5] = {};
  EXPECT_FALSE(device->ReadReport(buffer, 5));
}

TEST_F(DeviceTest, CapsAreAllZeroWithoutPreparsedDataAndPreparsedDataIsFreed) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  {
    auto device = Open(id);
    HIDP_CAPS caps;
    device->Caps(caps);
    EXPECT_EQ(caps.FeatureReportByteLength, 0);  // not checked out: no preparsed data
    device->SetCheckedOut(true);
    device->Caps(caps);
    EXPECT_EQ(caps.FeatureReportByteLength, 5);
    EXPECT_EQ(virtualhid::PreparsedDataAlive(), 1);
  }
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 0);
  EXPECT_EQ(virtualhid::OpenHandles(id), 0);
}

}  // namespace
