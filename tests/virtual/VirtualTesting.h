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
#include "tests/ServiceLibraries.h"

namespace vtest {

using Libraries = servicetest::Libraries;

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
