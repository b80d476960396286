// What the virtual-services tests share: the libraries loaded by name as a program loads them,
// and a fixture that starts every test from an empty, registered service state.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/LibraryLoader.h"
#include "hid/WinTypes.h"
#include "platform/virtual/VirtualHid.h"

namespace vtest {

// The three libraries, opened through the loader; the entry points found by their export names.
class Libraries {
 public:
  HMODULE Hid() const { return hidModule_.Get(); }
  HMODULE SetupApi() const { return setupModule_.Get(); }
  HMODULE Kernel32() const { return kernelModule_.Get(); }

 private:
  // Declared before the entry points, which are found through them.
  hid::LibraryHandle hidModule_{hid::kHidLibraryName};
  hid::LibraryHandle setupModule_{hid::kSetupApiLibraryName};
  hid::LibraryHandle kernelModule_{hid::kKernel32LibraryName};

 public:
  PFN_HidD_GetHidGuid GetHidGuid =
      hid::FunctionCast<PFN_HidD_GetHidGuid>(Find(hidModule_, "HidD_GetHidGuid"));
  PFN_HidD_GetAttributes GetAttributes =
      hid::FunctionCast<PFN_HidD_GetAttributes>(Find(hidModule_, "HidD_GetAttributes"));
  PFN_HidD_GetProductString GetProductString =
      hid::FunctionCast<PFN_HidD_GetProductString>(Find(hidModule_, "HidD_GetProductString"));
  PFN_HidD_GetPreparsedData GetPreparsedData =
      hid::FunctionCast<PFN_HidD_GetPreparsedData>(Find(hidModule_, "HidD_GetPreparsedData"));
  PFN_HidD_FreePreparsedData FreePreparsedData =
      hid::FunctionCast<PFN_HidD_FreePreparsedData>(Find(hidModule_, "HidD_FreePreparsedData"));
  PFN_HidP_GetCaps GetCaps = hid::FunctionCast<PFN_HidP_GetCaps>(Find(hidModule_, "HidP_GetCaps"));
  PFN_HidD_GetNumInputBuffers GetNumInputBuffers =
      hid::FunctionCast<PFN_HidD_GetNumInputBuffers>(Find(hidModule_, "HidD_GetNumInputBuffers"));
  PFN_HidD_SetNumInputBuffers SetNumInputBuffers =
      hid::FunctionCast<PFN_HidD_SetNumInputBuffers>(Find(hidModule_, "HidD_SetNumInputBuffers"));
  PFN_HidD_GetFeature GetFeature =
      hid::FunctionCast<PFN_HidD_GetFeature>(Find(hidModule_, "HidD_GetFeature"));
  PFN_HidD_SetFeature SetFeature =
      hid::FunctionCast<PFN_HidD_SetFeature>(Find(hidModule_, "HidD_SetFeature"));

  PFN_SetupDiGetClassDevsA GetClassDevs =
      hid::FunctionCast<PFN_SetupDiGetClassDevsA>(Find(setupModule_, "SetupDiGetClassDevsA"));
  PFN_SetupDiEnumDeviceInterfaces EnumInterfaces =
      hid::FunctionCast<PFN_SetupDiEnumDeviceInterfaces>(
          Find(setupModule_, "SetupDiEnumDeviceInterfaces"));
  PFN_SetupDiGetDeviceInterfaceDetailA GetDetail =
      hid::FunctionCast<PFN_SetupDiGetDeviceInterfaceDetailA>(
          Find(setupModule_, "SetupDiGetDeviceInterfaceDetailA"));
  PFN_SetupDiGetDeviceRegistryPropertyA GetProperty =
      hid::FunctionCast<PFN_SetupDiGetDeviceRegistryPropertyA>(
          Find(setupModule_, "SetupDiGetDeviceRegistryPropertyA"));
  PFN_SetupDiDestroyDeviceInfoList DestroyList =
      hid::FunctionCast<PFN_SetupDiDestroyDeviceInfoList>(
          Find(setupModule_, "SetupDiDestroyDeviceInfoList"));

  PFN_CreateFileA CreateFile =
      hid::FunctionCast<PFN_CreateFileA>(Find(kernelModule_, "CreateFileA"));
  PFN_CloseHandle CloseHandle =
      hid::FunctionCast<PFN_CloseHandle>(Find(kernelModule_, "CloseHandle"));
  PFN_ReadFileEx ReadFileEx = hid::FunctionCast<PFN_ReadFileEx>(Find(kernelModule_, "ReadFileEx"));
  PFN_GetOverlappedResult GetOverlappedResult =
      hid::FunctionCast<PFN_GetOverlappedResult>(Find(kernelModule_, "GetOverlappedResult"));
  PFN_SleepEx SleepEx = hid::FunctionCast<PFN_SleepEx>(Find(kernelModule_, "SleepEx"));
  PFN_CancelIo CancelIo = hid::FunctionCast<PFN_CancelIo>(Find(kernelModule_, "CancelIo"));
  PFN_GetLastError GetLastError =
      hid::FunctionCast<PFN_GetLastError>(Find(kernelModule_, "GetLastError"));
  PFN_SetLastError SetLastError =
      hid::FunctionCast<PFN_SetLastError>(Find(kernelModule_, "SetLastError"));

 private:
  static FARPROC Find(const hid::LibraryHandle& library, const char* name) {
    return hid::FindSymbol(library.Get(), name);
  }
};

using Report = std::array<std::uint8_t, 5>;

class VirtualHidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    api = std::make_unique<Libraries>();
  }
  void TearDown() override {
    api.reset();
    virtualhid::Reset();
  }

  HANDLE Open(virtualhid::DeviceId device, DWORD access = GENERIC_READ | GENERIC_WRITE,
              DWORD flags = 0) {
    return api->CreateFile(virtualhid::DevicePath(device).c_str(), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
  }

  // One command of the drawer protocol: report ID 0, three bytes, their XOR.
  bool Send(HANDLE h, std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
    Report r{0, command, p1, p2, static_cast<std::uint8_t>(command ^ p1 ^ p2)};
    return SendRaw(h, r);
  }
  bool SendRaw(HANDLE h, Report r) { return api->SetFeature(h, r.data(), 5) != 0; }
  std::optional<Report> Poll(HANDLE h) {
    Report r{};
    if (api->GetFeature(h, r.data(), 5) == 0) return std::nullopt;
    return r;
  }

  std::unique_ptr<Libraries> api;
};

}  // namespace vtest
