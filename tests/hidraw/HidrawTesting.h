// What the hidraw services' tests share: the three libraries loaded by name as a program loads
// them, over a fake machine, and a fixture that checks nothing is left behind.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>

#include <memory>
#include <string>

#include "hid/WinTypes.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Hidraw.h"
#include "tests/ServiceLibraries.h"
#include "tests/hidraw/Descriptors.h"
#include "tests/hidraw/FakeSystem.h"

namespace hidrawtest {

using Api = servicetest::Libraries;

// A device as the drawer is: vendor-defined with 4-byte input and feature reports, and the
// product string the programs look for.
inline hidraw::fake::DeviceConfig DrawerConfig() {
  hidraw::fake::DeviceConfig c;
  c.descriptor = hidraw::descriptors::kDrawer;
  c.vendorId = 0x0483;
  c.productId = 0x5750;
  c.version = 0x0201;
  c.usbProduct = "QV USB Cash Drawer";
  c.usbManufacturer = "QV";
  c.hidName = "QV QV USB Cash Drawer";
  return c;
}

class HidrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = std::make_shared<hidraw::fake::FakeSystem>();
    registration = std::make_unique<hidraw::Registration>(hidraw::System{fake, fake});
    api = std::make_unique<Api>();
  }
  void TearDown() override {
    api.reset();
    registration.reset();
    // Whatever a test opened, it closed: every handle, set and preparsed record, and so every
    // descriptor of the machine.
    EXPECT_EQ(hidraw::OpenHandles(), 0);
    EXPECT_EQ(hidraw::PendingReads(), 0);
    EXPECT_EQ(hidraw::PreparsedDataAlive(), 0);
    EXPECT_EQ(hidraw::DeviceInfoSetsAlive(), 0);
    EXPECT_EQ(fake->OpenDescriptors(), 0);
    fake.reset();
  }

  HANDLE Open(hidraw::fake::FakeSystem::DeviceId device,
              DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = 0) {
    return OpenPath(fake->Node(device), access, flags);
  }
  HANDLE OpenPath(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE,
                  DWORD flags = 0) {
    return api->CreateFile(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
  }

  std::shared_ptr<hidraw::fake::FakeSystem> fake;
  std::unique_ptr<hidraw::Registration> registration;
  std::unique_ptr<Api> api;
};

}  // namespace hidrawtest
