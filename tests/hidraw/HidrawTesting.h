// What the hidraw services' tests share: the three libraries loaded by name as a program loads
// them, over a fake machine, and a fixture that checks nothing is left behind.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>

#include <memory>
#include <string>

#include "hid/LibraryLoader.h"
#include "hid/WinTypes.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Hidraw.h"
#include "tests/hidraw/Descriptors.h"
#include "tests/hidraw/FakeSystem.h"

namespace hidrawtest {

class Api {
 public:
  Api() = default;
  Api(const Api&) = delete;
  Api& operator=(const Api&) = delete;

 private:
  template <class Fn>
  static Fn Find(const hid::LibraryHandle& library, const char* name) {
    return hid::FunctionCast<Fn>(hid::FindSymbol(library.Get(), name));
  }
  // Declared before the entry points, which are found through them.
  hid::LibraryHandle hidModule_{hid::kHidLibraryName};
  hid::LibraryHandle setupModule_{hid::kSetupApiLibraryName};
  hid::LibraryHandle kernelModule_{hid::kKernel32LibraryName};

 public:
  PFN_HidD_GetHidGuid GetHidGuid = Find<PFN_HidD_GetHidGuid>(hidModule_, "HidD_GetHidGuid");
  PFN_HidD_GetAttributes GetAttributes =
      Find<PFN_HidD_GetAttributes>(hidModule_, "HidD_GetAttributes");
  PFN_HidD_GetProductString GetProductString =
      Find<PFN_HidD_GetProductString>(hidModule_, "HidD_GetProductString");
  PFN_HidD_GetPreparsedData GetPreparsedData =
      Find<PFN_HidD_GetPreparsedData>(hidModule_, "HidD_GetPreparsedData");
  PFN_HidD_FreePreparsedData FreePreparsedData =
      Find<PFN_HidD_FreePreparsedData>(hidModule_, "HidD_FreePreparsedData");
  PFN_HidP_GetCaps GetCaps = Find<PFN_HidP_GetCaps>(hidModule_, "HidP_GetCaps");
  PFN_HidD_GetNumInputBuffers GetNumInputBuffers =
      Find<PFN_HidD_GetNumInputBuffers>(hidModule_, "HidD_GetNumInputBuffers");
  PFN_HidD_SetNumInputBuffers SetNumInputBuffers =
      Find<PFN_HidD_SetNumInputBuffers>(hidModule_, "HidD_SetNumInputBuffers");
  PFN_HidD_GetFeature GetFeature = Find<PFN_HidD_GetFeature>(hidModule_, "HidD_GetFeature");
  PFN_HidD_SetFeature SetFeature = Find<PFN_HidD_SetFeature>(hidModule_, "HidD_SetFeature");

  PFN_SetupDiGetClassDevsA GetClassDevs =
      Find<PFN_SetupDiGetClassDevsA>(setupModule_, "SetupDiGetClassDevsA");
  PFN_SetupDiEnumDeviceInterfaces EnumInterfaces =
      Find<PFN_SetupDiEnumDeviceInterfaces>(setupModule_, "SetupDiEnumDeviceInterfaces");
  PFN_SetupDiGetDeviceInterfaceDetailA GetDetail =
      Find<PFN_SetupDiGetDeviceInterfaceDetailA>(setupModule_, "SetupDiGetDeviceInterfaceDetailA");
  PFN_SetupDiGetDeviceRegistryPropertyA GetProperty = Find<PFN_SetupDiGetDeviceRegistryPropertyA>(
      setupModule_, "SetupDiGetDeviceRegistryPropertyA");
  PFN_SetupDiDestroyDeviceInfoList DestroyList =
      Find<PFN_SetupDiDestroyDeviceInfoList>(setupModule_, "SetupDiDestroyDeviceInfoList");

  PFN_CreateFileA CreateFile = Find<PFN_CreateFileA>(kernelModule_, "CreateFileA");
  PFN_CloseHandle CloseHandle = Find<PFN_CloseHandle>(kernelModule_, "CloseHandle");
  PFN_ReadFileEx ReadFileEx = Find<PFN_ReadFileEx>(kernelModule_, "ReadFileEx");
  PFN_GetOverlappedResult GetOverlappedResult =
      Find<PFN_GetOverlappedResult>(kernelModule_, "GetOverlappedResult");
  PFN_SleepEx SleepEx = Find<PFN_SleepEx>(kernelModule_, "SleepEx");
  PFN_CancelIo CancelIo = Find<PFN_CancelIo>(kernelModule_, "CancelIo");
  PFN_GetLastError GetLastError = Find<PFN_GetLastError>(kernelModule_, "GetLastError");
  PFN_SetLastError SetLastError = Find<PFN_SetLastError>(kernelModule_, "SetLastError");
};

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
