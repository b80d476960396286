// A machine with a table of fake hidraw interfaces, standing in for udev/sysfs and for the device
// calls. Descriptors handed out are real pipes, so the services poll them as they poll hidraw
// nodes: a queued input report makes one readable, an unplug hangs it up.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/hidraw/Fd.h"
#include "platform/hidraw/System.h"

namespace hidraw::fake {

// What the node's permissions let this user do.
enum class Permission { ReadWrite, ReadOnly, None };

struct DeviceConfig {
  std::vector<std::uint8_t> descriptor;
  std::uint16_t vendorId = 0x1234;
  std::uint16_t productId = 0x5678;
  std::uint16_t version = 0x0100;
  bool usb = true;  // false: a device on another bus (no USB ancestor)
  std::optional<std::string> usbProduct = "Test Device";
  std::string usbManufacturer = "Test Maker";
  std::string hidName = "Test Maker Test Device";
  Permission permission = Permission::ReadWrite;
  // What a feature GET answers, by report ID (byte 0 of the answer is the ID, 0 for unnumbered
  // reports); an ID without an answer stalls (EPIPE).
  std::map<std::uint8_t, std::vector<std::uint8_t>> featureReplies;
  // When set, these answer the feature calls instead (the result as the ioctl gives it).
  std::function<int(std::uint8_t* buffer, std::size_t length)> onGetFeature;
  std::function<int(const std::uint8_t* buffer, std::size_t length)> onSetFeature;
};

class FakeSystem final : public DeviceDirectory, public DeviceIo {
 public:
  using DeviceId = int;

  FakeSystem() = default;
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  DeviceId Add(DeviceConfig config, bool plugged = true);
  // A plug-in gets a new HID device (a new kernel sequence number, so a new syspath) and the
  // lowest free hidraw minor, so a re-plugged device often gets its old node name back.
  void Plug(DeviceId id);
  // Every descriptor open on it hangs up; its ioctls answer ENODEV, its reads EIO.
  void Unplug(DeviceId id);
  // The driver let go and took the device again: same HID device and syspath, a new node.
  void Rebind(DeviceId id);
  // Hands the report to every descriptor open on the device (each open file has its own queue).
  void QueueInput(DeviceId id, const std::vector<std::uint8_t>& report);
  // A hot-plug notification, as udev sends one per changed node. Returns how many reached a
  // watch: none once the watch has gone.
  int NotifyChange(int count = 1);
  void SetWatchAvailable(bool available) { watchAvailable_ = available; }
  // Returns once a thread is blocked polling descriptors of the machine, as the services wait
  // for a report: what a test waits for before ending that wait from another thread.
  void AwaitPoller();

  std::string Node(DeviceId id) const;
  std::string Syspath(DeviceId id) const;
  std::vector<std::vector<std::uint8_t>> FeatureSets(DeviceId id) const;
  std::vector<std::vector<std::uint8_t>> FeatureGets(DeviceId id) const;  // the buffers asked with
  int OpenDescriptors() const;
  std::vector<int> OpenModes(DeviceId id) const;  // O_RDONLY, O_WRONLY or O_RDWR of each

  // DeviceDirectory
  std::vector<InterfaceInfo> Enumerate() override;
  std::optional<InterfaceInfo> Describe(std::uint64_t devnum) override;
  std::unique_ptr<ChangeSource> Watch() override;

  // DeviceIo
  int Open(const std::string& path, int flags) override;
  void Close(int fd) override;
  int DeviceNumber(int fd, std::uint64_t& devnum) override;
  int GetRawInfo(int fd, RawInfo& info) override;
  int GetDescriptor(int fd, std::vector<std::uint8_t>& bytes) override;
  int GetFeature(int fd, std::uint8_t* buffer, std::size_t length) override;
  int SetFeature(int fd, const std::uint8_t* buffer, std::size_t length) override;
  long Read(int fd, std::uint8_t* buffer, std::size_t length) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;

 private:
  struct Device {
    DeviceConfig config;
    bool plugged = false;
    int plug = 0;  // which plug-in of the device, counted over the whole table
    unsigned minor = 0;
    unsigned hidSequence = 0;
    std::uint64_t inode = 0;
    std::vector<std::vector<std::uint8_t>> sets;
    std::vector<std::vector<std::uint8_t>> gets;
  };
  struct OpenFile {
    DeviceId device;
    int plug;
    int mode;
    UniqueFd readEnd;   // the descriptor handed out; Close closes it
    UniqueFd writeEnd;  // its other end: a report written here makes it readable
    std::vector<std::vector<std::uint8_t>> queue;
  };

  InterfaceInfo InfoLocked(const Device& d) const;
  // The live device behind a descriptor, or null with the error to answer.
  Device* DeviceOfLocked(int fd, int& error);
  void PlugLocked(Device& d);

  mutable std::mutex mutex_;
  std::condition_variable pollersChanged_;
  int pollers_ = 0;  // threads inside a blocking Poll
  std::vector<Device> devices_;
  std::map<int, OpenFile> files_;
  int plugs_ = 0;
  unsigned hidSequence_ = 0;
  std::uint64_t inodes_ = 1000;
  bool watchAvailable_ = true;
  UniqueFd watchWriteEnd_;
};

}  // namespace hidraw::fake
