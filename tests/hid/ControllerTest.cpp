// The controller over the virtual HID services: enumeration, reconciliation of plugging and
// unplugging, check-out and check-in, and its property write rules.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/LibraryLoader.h"
#include "host/Application.h"
#include "platform/virtual/VirtualHid.h"

namespace {

using hid::THidDevice;
using hid::THidDeviceController;

// Records what the controller announces.
struct Events : host::TComponent {
  using host::TComponent::TComponent;
  int changes = 0;
  int enumerates = 0;
  std::vector<std::string> log;
  bool throwOnArrival = false;
  bool sawAnnouncing = false;
  void Change(host::TObject*) { ++changes; }
  void Arrival(THidDevice* d) {
    sawAnnouncing = d->Announcing();
    log.push_back("arrival " + std::to_string(d->PnPInfo()->DeviceID));
    if (throwOnArrival) throw std::runtime_error("handler failed");
  }
  void Removal(THidDevice* d) {
    log.push_back("removal " + std::to_string(d->PnPInfo()->DeviceID));
  }
  void Unplugged(THidDevice*) { log.push_back("unplugged"); }
  bool Enumerate(THidDevice*, int) {
    ++enumerates;
    return true;
  }
  void Data(THidDevice*, BYTE, const void*, WORD) {}
  void OtherData(THidDevice*, BYTE, const void*, WORD) {}
};

class Controller : public ::testing::Test {
 protected:
  void SetUp() override {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
  }
  void TearDown() override {
    delete controller;
    virtualhid::Reset();
  }
  // A controller with every event bound, as a module builds it from its stored form.
  void Create() {
    owner.BeginLoading();
    controller = new THidDeviceController(nullptr);
    controller->SetOnArrival(hid::THidPlugEvent::Of<&Events::Arrival>(&events));
    controller->SetOnRemoval(hid::THidPlugEvent::Of<&Events::Removal>(&events));
    controller->SetOnDeviceUnplug(hid::THidPlugEvent::Of<&Events::Unplugged>(&events));
    controller->SetOnEnumerate(hid::THidEnumerateEvent::Of<&Events::Enumerate>(&events));
    owner.EndLoading();
  }
  void Notify() { app.ProcessMessages(); }

  host::TApplication app;
  host::TComponent owner{nullptr};
  Events events{nullptr};
  THidDeviceController* controller = nullptr;
};

TEST_F(Controller, NoDevicePresentFiresOnDeviceChangeOnceAndNothingElse) {
  Create();
  controller->SetOnDeviceChange(host::TNotifyEvent::Of<&Events::Change>(&events));
  EXPECT_EQ(events.changes, 0);  // the enumeration at assignment found no change
  Notify();                      // the first posted notification always ends in a change
  EXPECT_EQ(events.changes, 1);
  EXPECT_TRUE(events.log.empty());
  EXPECT_EQ(controller->DeviceCount(), 0);
  EXPECT_EQ(controller->LastNotifyParam(), -1);
  THidDevice* out = nullptr;
  EXPECT_FALSE(controller->CheckOutFirst(out));
}

TEST_F(Controller, AssigningOnDeviceChangeEnumeratesOnlyOutsideLoading) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  owner.BeginLoading();
  // Built while the owner loads: the component is loading too.
  auto* loading = new THidDeviceController(&owner);
  loading->SetOnDeviceChange(host::TNotifyEvent::Of<&Events::Change>(&events));
  EXPECT_EQ(loading->DeviceCount(), 0);
  owner.EndLoading();
  controller->SetOnDeviceChange(host::TNotifyEvent::Of<&Events::Change>(&events));
  EXPECT_EQ(controller->DeviceCount(), 1);  // enumerated at once
  EXPECT_EQ(events.changes, 1);             // an arrival is a change
  delete loading;
}

TEST_F(Controller, ArrivalsAreAnnouncedInOrderWithTheGateOpen) {
  auto a = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto b = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  ASSERT_EQ(controller->DeviceCount(), 2);
  EXPECT_EQ(events.log,
            (std::vector<std::string>{"arrival " + std::to_string(virtualhid::DevInst(a)),
                                      "arrival " + std::to_string(virtualhid::DevInst(b))}));
  EXPECT_TRUE(events.sawAnnouncing);
  EXPECT_FALSE(controller->Device(0)->Announcing());
  EXPECT_EQ(controller->CheckedInCount(), 2);
  EXPECT_EQ(events.enumerates, 0);  // held, never fired
}

TEST_F(Controller, CheckOutByIndexOutsideTheListAnswersFalseAndEmpty) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  THidDevice* out = reinterpret_cast<THidDevice*>(&events);
  EXPECT_FALSE(controller->CheckOutByIndex(out, -1));
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<THidDevice*>(&events);
  EXPECT_FALSE(controller->CheckOutByIndex(out, controller->DeviceCount()));
  EXPECT_EQ(out, nullptr);
  ASSERT_TRUE(controller->CheckOutByIndex(out, 0));
  EXPECT_TRUE(out->CheckedOut());
  THidDevice* again = nullptr;
  EXPECT_FALSE(controller->CheckOutByIndex(again, 0));
  EXPECT_FALSE(controller->CheckOutFirst(again));  // every device is out
  EXPECT_EQ(controller->CheckedOutCount(), 1);
  EXPECT_EQ(controller->CheckedInCount(), 0);
  delete out;
}

TEST_F(Controller, CheckInLeavesAFreshObjectInTheSameSlot) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  THidDevice* out = nullptr;
  ASSERT_TRUE(controller->CheckOutByIndex(out, 1));
  out->SetOnData(hid::THidDataEvent::Of<&Events::OtherData>(&events));
  out->SetSleepTime(250);
  out->ProductName();
  delete out;
  ASSERT_EQ(controller->DeviceCount(), 2);
  THidDevice* fresh = controller->Device(1);
  EXPECT_NE(fresh, nullptr);
  EXPECT_FALSE(fresh->CheckedOut());
  EXPECT_EQ(fresh->OnData(), hid::THidDataEvent::Of<&Events::OtherData>(&events));
  EXPECT_EQ(fresh->SleepTime(), 250);
  EXPECT_EQ(fresh->Reader(), nullptr);
  EXPECT_EQ(controller->CheckedInCount(), 2);
  EXPECT_EQ(controller->CheckedOutCount(), 0);
}

TEST_F(Controller, UnpluggedCheckedOutDeviceStaysListedAndIsRemovedAgainUntilReleased) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  controller->SetOnDeviceChange(host::TNotifyEvent::Of<&Events::Change>(&events));
  Notify();
  THidDevice* out = nullptr;
  ASSERT_TRUE(controller->CheckOutFirst(out));
  events.log.clear();
  events.changes = 0;
  std::string removal = "removal " + std::to_string(out->PnPInfo()->DeviceID);

  virtualhid::Unplug(id);
  Notify();
  EXPECT_FALSE(out->PluggedIn());
  ASSERT_EQ(controller->DeviceCount(), 1);
  EXPECT_EQ(controller->UnpluggedCount(), 1);
  EXPECT_EQ(controller->CheckedOutCount(), 0);
  EXPECT_EQ(events.log, (std::vector<std::string>{"unplugged", removal}));
  EXPECT_EQ(events.changes, 1);

  // Any later notification repeats the removal (without a second OnUnplugged).
  controller->DeviceChange();
  EXPECT_EQ(events.log, (std::vector<std::string>{"unplugged", removal, removal}));
  EXPECT_EQ(events.changes, 2);

  // Plugged in again meanwhile: a new object arrives beside the old one.
  virtualhid::Plug(id);
  Notify();
  ASSERT_EQ(controller->DeviceCount(), 2);
  EXPECT_NE(controller->Device(1), out);
  EXPECT_TRUE(controller->Device(1)->PluggedIn());

  delete out;  // the release removes the old slot
  ASSERT_EQ(controller->DeviceCount(), 1);
  EXPECT_TRUE(controller->Device(0)->PluggedIn());
  EXPECT_EQ(controller->UnpluggedCount(), 0);
}

TEST_F(Controller, CheckedInDeviceThatGoesAwayLeavesTheList) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  virtualhid::Unplug(id);
  Notify();
  EXPECT_EQ(controller->DeviceCount(), 0);
  EXPECT_EQ(virtualhid::OpenHandles(), 0);
}

TEST_F(Controller, ReplacementThatCannotBeBuiltNeverLeavesTheDestroyedObjectListed) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  THidDevice* out = nullptr;
  ASSERT_TRUE(controller->CheckOutFirst(out));
  // Both openings of the replacement are refused, as if the interface vanished just now.
  virtualhid::FailNextCalls("CreateFileA", 2, ERROR_FILE_NOT_FOUND);
  delete out;
  EXPECT_EQ(controller->DeviceCount(), 0);
  EXPECT_EQ(controller->CheckedOutCount(), 0);
  // The next notification finds the interface again.
  controller->DeviceChange();
  EXPECT_EQ(controller->DeviceCount(), 1);
}

TEST_F(Controller, InterfaceWhoseDetailCannotBeReadIsSkippedAndTheWalkGoesOn) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  auto second = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  virtualhid::FailNextCalls("SetupDiGetDeviceInterfaceDetailA", 1, ERROR_GEN_FAILURE);
  Notify();
  ASSERT_EQ(controller->DeviceCount(), 1);
  EXPECT_EQ(controller->Device(0)->PnPInfo()->DeviceID, virtualhid::DevInst(second));
}

TEST_F(Controller, UnopenableAndUnidentifiableInterfacesAreLeftOut) {
  auto cfg = virtualhid::ReadyDrawer();
  cfg.access = virtualhid::Access::None;
  virtualhid::AddDevice(cfg);
  cfg.access = virtualhid::Access::ReadWrite;
  cfg.identify = false;
  virtualhid::AddDevice(cfg);
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  EXPECT_EQ(controller->DeviceCount(), 1);
}

TEST_F(Controller, RaisingHandlerLeavesTheFlagsClearedAndLaterNotificationsWork) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  events.throwOnArrival = true;
  Notify();
  EXPECT_FALSE(controller->InDeviceChange());
  // The announcement that raised ended the notification: the device after it was not listed,
  // and not kept either (a kept one is a leak, which the sanitizer build's leak check reports).
  ASSERT_EQ(controller->DeviceCount(), 1);
  EXPECT_FALSE(controller->Device(0)->Announcing());
  events.throwOnArrival = false;
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Notify();
  EXPECT_EQ(controller->DeviceCount(), 3);
}

// A registry read that fails by raising, in the middle of an enumeration.
BOOL WINAPI RaisingPropertyRead(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD, DWORD*) {
  throw std::runtime_error("registry read failed");
}

TEST_F(Controller, AnEnumerationThatRaisesLeavesNoDeviceInfoSetOpen) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  // The virtual setup library once more, with its registry read raising.
  hid::SymbolTable setupApi;
  {
    const hid::LibraryHandle library(hid::kSetupApiLibraryName);
    for (const hid::EntryBinding& row : hid::kSetupApiBindings) {
      const std::string name = row.exportName;
      setupApi.emplace_back(name, name == "SetupDiGetDeviceRegistryPropertyA"
                                      ? hid::FunctionCast<FARPROC>(&RaisingPropertyRead)
                                      : hid::FindSymbol(library.Get(), name));
    }
  }
  hid::RegisterLibrary(hid::kSetupApiLibraryName, setupApi);
  Create();
  EXPECT_THROW(controller->DeviceChange(), std::runtime_error);
  EXPECT_EQ(virtualhid::DeviceInfoSetsAlive(), 0);
}

TEST_F(Controller, DevThreadSleepTimeReachesOnlyDevicesListedWithTheOldValue) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  controller->SetDevThreadSleepTime(5);
  EXPECT_EQ(controller->DevThreadSleepTime(), 5);
  EXPECT_EQ(controller->Device(0)->SleepTime(), 100);  // 5 is outside 10..10000
  controller->SetDevThreadSleepTime(300);
  EXPECT_EQ(controller->Device(0)->SleepTime(), 100);  // it no longer equals the old value 5
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Notify();
  EXPECT_EQ(controller->Device(1)->SleepTime(), 100);  // new objects start at 100 regardless
}

TEST_F(Controller, OnDeviceDataReachesDevicesStillHoldingTheOldHandler) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  controller->SetOnDeviceData(hid::THidDataEvent::Of<&Events::Data>(&events));
  Notify();
  EXPECT_EQ(controller->Device(0)->OnData(), hid::THidDataEvent::Of<&Events::Data>(&events));
  controller->Device(1)->SetOnData(hid::THidDataEvent::Of<&Events::OtherData>(&events));
  controller->SetOnDeviceData(nullptr);
  EXPECT_FALSE(controller->Device(0)->OnData().IsSet());
  EXPECT_TRUE(controller->Device(1)->OnData().IsSet());
}

TEST_F(Controller, WithoutLibrariesItStillConstructsAndListsNothing) {
  virtualhid::UnregisterLibraries();
  // Libraries that export nothing stand for missing ones on every platform (Windows always has
  // its own to fall back on).
  hid::RegisterLibrary(hid::kSetupApiLibraryName, {});
  hid::RegisterLibrary(hid::kHidLibraryName, {});
  Create();
  EXPECT_FALSE(hid::HidBound());
  EXPECT_EQ(controller->NotifyWindow(), nullptr);
  EXPECT_EQ(controller->InterfaceGuid().Data1, 0x4D1E55B2u);
  controller->SetOnDeviceChange(host::TNotifyEvent::Of<&Events::Change>(&events));
  Notify();
  EXPECT_EQ(events.changes, 0);
  THidDevice* out = nullptr;
  EXPECT_FALSE(controller->CheckOutFirst(out));
  hid::UnregisterLibrary(hid::kSetupApiLibraryName);
  hid::UnregisterLibrary(hid::kHidLibraryName);
}

TEST_F(Controller, DestructionUnplugsCheckedOutDevicesWhichTheApplicationStillFrees) {
  auto id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Create();
  Notify();
  THidDevice* out = nullptr;
  ASSERT_TRUE(controller->CheckOutFirst(out));
  delete controller;
  controller = nullptr;
  EXPECT_FALSE(out->PluggedIn());
  EXPECT_EQ(out->Controller(), nullptr);
  delete out;  // no controller: no check-in
  EXPECT_EQ(virtualhid::OpenHandles(id), 0);
  EXPECT_FALSE(hid::HidBound());
}

}  // namespace
