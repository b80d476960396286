#include "tests/contract/Backends.h"

#include <string>

#include "platform/virtual/VirtualHid.h"
#ifdef _WIN32
#include <windows.h>

#include "host/UniqueHandle.h"
#else
#include "platform/hidraw/Hidraw.h"
#include "tests/hidraw/HidrawTesting.h"
#endif

namespace contract {
namespace {

class VirtualBackend final : public Backend {
 public:
  VirtualBackend() {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
  }
  ~VirtualBackend() override { virtualhid::Reset(); }
  VirtualBackend(const VirtualBackend&) = delete;
  VirtualBackend& operator=(const VirtualBackend&) = delete;

  std::string Add(const DeviceDescription& description) override {
    virtualhid::DeviceConfig c;
    c.vendorId = description.vendorId;
    c.productId = description.productId;
    c.version = description.version;
    c.product = description.product;
    c.usagePage = 0xFFA0;
    c.access =
        description.rights == DeviceDescription::Rights::ReadWrite   ? virtualhid::Access::ReadWrite
        : description.rights == DeviceDescription::Rights::QueryOnly ? virtualhid::Access::QueryOnly
                                                                     : virtualhid::Access::None;
    device_ = virtualhid::AddDevice(c);
    return virtualhid::DevicePath(device_);
  }
  void Send(const Report& report) override {
    virtualhid::QueueInputReport(device_, {report.begin(), report.end()});
  }
  void Unplug() override { virtualhid::Unplug(device_); }
  void Plug() override { virtualhid::Plug(device_); }
  std::vector<std::vector<std::uint8_t>> Commands() override {
    return virtualhid::CommandsReceived(device_);
  }
  int PendingReads() override { return virtualhid::PendingReads(device_); }
  void ExpectNothingLeft() override {
    EXPECT_EQ(virtualhid::OpenHandles(), 0);
    EXPECT_EQ(virtualhid::PreparsedDataAlive(), 0);
    EXPECT_EQ(virtualhid::DeviceInfoSetsAlive(), 0);
  }

 private:
  virtualhid::DeviceId device_ = virtualhid::kNoDevice;
};

#ifndef _WIN32
class HidrawBackend final : public Backend {
 public:
  HidrawBackend()
      : fake_(std::make_shared<hidraw::fake::FakeSystem>()),
        registration_(hidraw::System{fake_, fake_}) {}

  std::string Add(const DeviceDescription& description) override {
    hidraw::fake::DeviceConfig c = hidrawtest::DrawerConfig();
    c.vendorId = description.vendorId;
    c.productId = description.productId;
    c.version = description.version;
    c.usbProduct = description.product;
    c.permission = description.rights == DeviceDescription::Rights::ReadWrite
                       ? hidraw::fake::Permission::ReadWrite
                   : description.rights == DeviceDescription::Rights::QueryOnly
                       ? hidraw::fake::Permission::ReadOnly
                       : hidraw::fake::Permission::None;
    c.featureReplies[0] = {kOpenAck.begin(), kOpenAck.end()};
    device_ = fake_->Add(c);
    return fake_->Node(device_);
  }
  // hidraw passes an unnumbered report without its ID.
  void Send(const Report& report) override {
    fake_->QueueInput(device_, std::vector<std::uint8_t>(report.begin() + 1, report.end()));
  }
  void Unplug() override { fake_->Unplug(device_); }
  void Plug() override { fake_->Plug(device_); }
  std::vector<std::vector<std::uint8_t>> Commands() override { return fake_->FeatureSets(device_); }
  void AwaitBlockedReader() override { fake_->AwaitPoller(); }
  int PendingReads() override { return hidraw::PendingReads(); }
  void ExpectNothingLeft() override {
    EXPECT_EQ(hidraw::OpenHandles(), 0);
    EXPECT_EQ(hidraw::PendingReads(), 0);
    EXPECT_EQ(hidraw::PreparsedDataAlive(), 0);
    EXPECT_EQ(hidraw::DeviceInfoSetsAlive(), 0);
    EXPECT_EQ(fake_->OpenDescriptors(), 0);
  }

 private:
  std::shared_ptr<hidraw::fake::FakeSystem> fake_;
  hidraw::Registration registration_;
  hidraw::fake::FakeSystem::DeviceId device_ = -1;
};
#endif

#ifdef _WIN32
struct CloseServer {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using ServerEnd = host::UniqueHandle<HANDLE, CloseServer>;

// The system's kernel32 on a handle it can make without a HID device: the reading end of a
// message pipe, each message one report. What only a HID device shows (its reports' layout,
// feature reports, an unplug) the guest's tests see on Wine's own HID bus.
class SystemBackend final : public Backend {
 public:
  SystemBackend() { virtualhid::Reset(); }  // nothing registered: the system's own libraries

  std::string Add(const DeviceDescription&) override {
    // Unique while the backend lives: its instances are closed before another can take the name.
    name_ = "\\\\.\\pipe\\till-contract-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(reinterpret_cast<std::uintptr_t>(this));
    return name_;
  }
  // Every instance gets it: the one the reading handle holds passes it on.
  void Send(const Report& report) override {
    for (const ServerEnd& server : servers_) {
      OVERLAPPED overlapped{};
      DWORD written = 0;
      if (!::WriteFile(server.Get(), report.data(), static_cast<DWORD>(report.size()), &written,
                       &overlapped) &&
          ::GetLastError() == ERROR_IO_PENDING) {
        ::GetOverlappedResult(server.Get(), &overlapped, &written, TRUE);
      }
    }
  }
  bool HasHidDevices() const override { return false; }
  void Unplug() override {}
  void Plug() override {}
  std::vector<std::vector<std::uint8_t>> Commands() override { return {}; }
  void BeforeOpen() override {
    HANDLE server = ::CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << ::GetLastError();
    servers_.emplace_back(server);
  }
  // A pipe whose reading end is closed says so.
  DWORD ClosedReadError() const override { return ERROR_BROKEN_PIPE; }

 private:
  std::string name_;
  std::vector<ServerEnd> servers_;
};
#endif

}  // namespace

std::vector<BackendKind> AllBackends() {
  std::vector<BackendKind> kinds = {
      {"Virtual", [] { return std::unique_ptr<Backend>(std::make_unique<VirtualBackend>()); }}};
#ifdef _WIN32
  kinds.push_back(
      {"System", [] { return std::unique_ptr<Backend>(std::make_unique<SystemBackend>()); }});
#else
  kinds.push_back(
      {"Hidraw", [] { return std::unique_ptr<Backend>(std::make_unique<HidrawBackend>()); }});
#endif
  return kinds;
}

}  // namespace contract
