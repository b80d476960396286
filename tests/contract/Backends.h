// The systems the contract runs on: the virtual services, the hidraw services over a fake Linux
// machine and, on Windows (under Wine in the tests), the system's own calls. Each makes an
// interface present and makes it send a report or go away; the cases reach it only through the
// libraries loaded by name, as a program does, so a backend that answers otherwise than the
// system fails them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/WinTypes.h"
#include "tests/ServiceLibraries.h"

namespace contract {

// An interface as the drawer is: vendor-defined (page 0xFFA0, usage 1), unnumbered reports of
// five bytes with the ID, input and feature; its feature GET answers the drawer's acknowledgement
// of 'W' 79 0.
struct DeviceDescription {
  std::uint16_t vendorId = 0x0483;
  std::uint16_t productId = 0x5750;
  std::uint16_t version = 0x0201;
  std::optional<std::string> product = "QV USB Cash Drawer";  // UTF-8; none: the device has none
  enum class Rights { ReadWrite, QueryOnly, None } rights = Rights::ReadWrite;
};

using Report = std::array<std::uint8_t, 5>;
inline constexpr Report kOpenCommand = {0, 'W', 79, 0, 'W' ^ 79};
inline constexpr Report kOpenAck = {0, '+', 79, 0, '+' ^ 79};

class Backend {
 public:
  virtual ~Backend() = default;

  // Makes the interface present; its device path.
  virtual std::string Add(const DeviceDescription& description) = 0;
  // The interface sends an input report.
  virtual void Send(const Report& report) = 0;

  // What a system without a HID device to show cannot do: the cases that need them skip.
  virtual bool HasHidDevices() const { return true; }
  virtual void Unplug() = 0;
  virtual void Plug() = 0;
  // The feature reports the interface got, as sent.
  virtual std::vector<std::vector<std::uint8_t>> Commands() = 0;

  // Before each opening of the path: a pipe needs an instance for each.
  virtual void BeforeOpen() {}
  // Returns once a thread that waits alertably for a read is blocked in the wait, where the
  // backend can tell; otherwise at once.
  virtual void AwaitBlockedReader() {}
  // What a read ended by closing its handle reports: the device driver's word.
  virtual DWORD ClosedReadError() const { return ERROR_OPERATION_ABORTED; }
  // Reads pending on the interface; -1 where the system does not tell.
  virtual int PendingReads() { return -1; }
  void ExpectPendingReads(int count) {
    if (const int pending = PendingReads(); pending >= 0) {
      EXPECT_EQ(pending, count);
    }
  }
  // Whatever the test left open, it closed.
  virtual void ExpectNothingLeft() {}
};

struct BackendKind {
  const char* name;
  std::function<std::unique_ptr<Backend>()> make;
};

std::vector<BackendKind> AllBackends();
inline std::string BackendName(const ::testing::TestParamInfo<BackendKind>& info) {
  return info.param.name;
}

// Each case runs once per backend; `api` is loaded after the backend is in place.
class Contract : public ::testing::TestWithParam<BackendKind> {
 protected:
  void SetUp() override {
    backend = GetParam().make();
    api = std::make_unique<servicetest::Libraries>();
  }
  void TearDown() override {
    api.reset();
    backend->ExpectNothingLeft();
    backend.reset();
  }

  HANDLE Open(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE,
              DWORD flags = 0) {
    backend->BeforeOpen();
    return api->CreateFile(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
  }
  HANDLE OpenReader(const std::string& path) {
    return Open(path, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  }

  std::unique_ptr<Backend> backend;
  std::unique_ptr<servicetest::Libraries> api;
};

#define CONTRACT_NEEDS_HID_DEVICES()                                             \
  do {                                                                           \
    if (!backend->HasHidDevices()) GTEST_SKIP() << "no HID device to make here"; \
  } while (0)

}  // namespace contract
