#include "tests/hidraw/FakeSystem.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace hidraw::fake {
namespace {

constexpr unsigned kHidrawMajor = 240;

// Reads every byte waiting: one byte stands for one change.
class SocketChangeSource final : public ChangeSource {
 public:
  explicit SocketChangeSource(UniqueFd readEnd) : readEnd_(std::move(readEnd)) {}
  int Fd() const override { return readEnd_.Get(); }
  int Drain() override {
    int n = 0;
    char bytes[64];
    for (;;) {
      const ssize_t got = ::read(readEnd_.Get(), bytes, sizeof bytes);
      if (got <= 0) return n;
      n += static_cast<int>(got);
    }
  }

 private:
  UniqueFd readEnd_;
};

}  // namespace

FakeSystem::DeviceId FakeSystem::Add(DeviceConfig config, bool plugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device device;
  device.config = std::move(config);
  devices_.push_back(std::move(device));
  if (plugged) PlugLocked(devices_.back());
  return static_cast<DeviceId>(devices_.size() - 1);
}

void FakeSystem::PlugLocked(Device& d) {
  if (d.plugged) return;
  unsigned minor = 0;
  for (bool taken = true; taken; minor += taken ? 1 : 0) {
    taken = std::any_of(devices_.begin(), devices_.end(), [minor](const Device& other) {
      return other.plugged && other.minor == minor;
    });
  }
  d.plugged = true;
  d.plug = ++plugs_;
  d.minor = minor;
  d.hidSequence = ++hidSequence_;
  d.inode = ++inodes_;
}

void FakeSystem::Plug(DeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  PlugLocked(devices_.at(static_cast<std::size_t>(id)));
}

void FakeSystem::Unplug(DeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& d = devices_.at(static_cast<std::size_t>(id));
  d.plugged = false;
  for (auto& [fd, file] : files_) {
    if (file.device == id) file.writeEnd.Reset();  // the reader sees a hang-up
  }
}

void FakeSystem::Rebind(DeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& d = devices_.at(static_cast<std::size_t>(id));
  for (auto& [fd, file] : files_) {
    if (file.device == id) file.writeEnd.Reset();
  }
  d.plug = ++plugs_;
  d.inode = ++inodes_;
}

void FakeSystem::QueueInput(DeviceId id, const std::vector<std::uint8_t>& report) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [fd, file] : files_) {
    if (file.device != id || file.plug != devices_.at(static_cast<std::size_t>(id)).plug ||
        !file.writeEnd.Valid()) {
      continue;
    }
    file.queue.push_back(report);
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(file.writeEnd.Get(), &byte, 1);
  }
}

int FakeSystem::NotifyChange(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  int sent = 0;
  for (int i = 0; i < count; ++i) {
    const char byte = 1;
    // A socket rather than a pipe: once the watch has gone, this fails instead of raising SIGPIPE.
    if (::send(watchWriteEnd_.Get(), &byte, 1, MSG_NOSIGNAL) == 1) ++sent;
  }
  return sent;
}

std::string FakeSystem::Node(DeviceId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return "/dev/hidraw" + std::to_string(devices_.at(static_cast<std::size_t>(id)).minor);
}

std::string FakeSystem::Syspath(DeviceId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return InfoLocked(devices_.at(static_cast<std::size_t>(id))).syspath;
}

std::vector<std::vector<std::uint8_t>> FakeSystem::FeatureSets(DeviceId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_.at(static_cast<std::size_t>(id)).sets;
}

std::vector<std::vector<std::uint8_t>> FakeSystem::FeatureGets(DeviceId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_.at(static_cast<std::size_t>(id)).gets;
}

int FakeSystem::OpenDescriptors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(files_.size());
}

std::vector<int> FakeSystem::OpenModes(DeviceId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> modes;
  for (const auto& [fd, file] : files_) {
    if (file.device == id) modes.push_back(file.mode);
  }
  return modes;
}

InterfaceInfo FakeSystem::InfoLocked(const Device& d) const {
  const DeviceConfig& c = d.config;
  char hid[64];
  std::snprintf(hid, sizeof hid, "%04X:%04X:%04X.%04X", c.usb ? 3u : 5u, c.vendorId, c.productId,
                d.hidSequence);
  const std::string minor = std::to_string(d.minor);
  InterfaceInfo info;
  info.syspath = (c.usb ? "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/"
                        : "/sys/devices/virtual/misc/uhid/") +
                 std::string(hid) + "/hidraw/hidraw" + minor;
  info.devnode = "/dev/hidraw" + minor;
  info.devnum = makedev(kHidrawMajor, d.minor);
  info.nodeInode = d.inode;
  info.vendorId = c.vendorId;
  info.productId = c.productId;
  info.hidName = c.hidName;
  info.hidPhys = c.usb ? "usb-0000:00:14.0-2/input0" : "";
  info.hidDriver = "hid-generic";
  // A uhid device hangs on the uhid misc device, which no driver binds.
  info.busDriver = c.usb ? "usbhid" : "";
  if (c.usb) {
    info.usbParent = true;
    info.usbProduct = c.usbProduct;
    info.usbManufacturer = c.usbManufacturer;
    info.version = c.version;
    info.usbBusNumber = 1;
    info.usbAddress = 5;
  }
  return info;
}

std::vector<InterfaceInfo> FakeSystem::Enumerate() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<InterfaceInfo> found;
  for (const Device& d : devices_) {
    if (d.plugged) found.push_back(InfoLocked(d));
  }
  return found;
}

std::optional<InterfaceInfo> FakeSystem::Describe(std::uint64_t devnum) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Device& d : devices_) {
    if (d.plugged && makedev(kHidrawMajor, d.minor) == devnum) return InfoLocked(d);
  }
  return std::nullopt;
}

std::unique_ptr<ChangeSource> FakeSystem::Watch() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!watchAvailable_) return nullptr;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
    return nullptr;
  }
  watchWriteEnd_ = UniqueFd(ends[1]);
  return std::make_unique<SocketChangeSource>(UniqueFd(ends[0]));
}

int FakeSystem::Open(const std::string& path, int flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    Device& d = devices_[i];
    if (!d.plugged || path != "/dev/hidraw" + std::to_string(d.minor)) continue;
    const int mode = flags & O_ACCMODE;
    if (d.config.permission == Permission::None ||
        (d.config.permission == Permission::ReadOnly && mode != O_RDONLY)) {
      return -EACCES;
    }
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return -errno;
    const int fd = ends[0];
    files_[fd] =
        OpenFile{static_cast<DeviceId>(i), d.plug, mode, UniqueFd(ends[0]), UniqueFd(ends[1]), {}};
    return fd;
  }
  return -ENOENT;
}

}  // namespace hidraw::fake

namespace hidraw::fake {

void FakeSystem::Close(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_.erase(fd);
}

FakeSystem::Device* FakeSystem::DeviceOfLocked(int fd, int& error) {
  auto it = files_.find(fd);
  if (it == files_.end()) {
    error = -EBADF;
    return nullptr;
  }
  Device& d = devices_.at(static_cast<std::size_t>(it->second.device));
  if (!d.plugged || d.plug != it->second.plug) {
    error = -ENODEV;
    return nullptr;
  }
  return &d;
}

int FakeSystem::DeviceNumber(int fd, std::uint64_t& devnum) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(fd);
  if (it == files_.end()) return -EBADF;
  devnum = makedev(kHidrawMajor, devices_.at(static_cast<std::size_t>(it->second.device)).minor);
  return 0;
}

int FakeSystem::GetRawInfo(int fd, RawInfo& info) {
  std::lock_guard<std::mutex> lock(mutex_);
  int error = 0;
  Device* d = DeviceOfLocked(fd, error);
  if (d == nullptr) return error;
  info.bustype = d->config.usb ? 3 : 5;
  info.vendor = d->config.vendorId;
  info.product = d->config.productId;
  return 0;
}

int FakeSystem::GetDescriptor(int fd, std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  int error = 0;
  Device* d = DeviceOfLocked(fd, error);
  if (d == nullptr) return error;
  bytes = d->config.descriptor;
  return 0;
}

int FakeSystem::GetFeature(int fd, std::uint8_t* buffer, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  int error = 0;
  Device* d = DeviceOfLocked(fd, error);
  if (d == nullptr) return error;
  d->gets.emplace_back(buffer, buffer + length);
  if (d->config.onGetFeature) return d->config.onGetFeature(buffer, length);
  auto reply = d->config.featureReplies.find(buffer[0]);
  if (reply == d->config.featureReplies.end()) return -EPIPE;  // the device stalls
  const std::size_t n = std::min(length, reply->second.size());
  std::copy_n(reply->second.begin(), n, buffer);
  return static_cast<int>(n);
}

int FakeSystem::SetFeature(int fd, const std::uint8_t* buffer, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  int error = 0;
  Device* d = DeviceOfLocked(fd, error);
  if (d == nullptr) return error;
  d->sets.emplace_back(buffer, buffer + length);
  if (d->config.onSetFeature) return d->config.onSetFeature(buffer, length);
  return static_cast<int>(length);
}

long FakeSystem::Read(int fd, std::uint8_t* buffer, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(fd);
  if (it == files_.end()) return -EBADF;
  OpenFile& file = it->second;
  // As hidraw: reports already queued are still handed out after the device has gone.
  if (file.queue.empty()) {
    const Device& d = devices_.at(static_cast<std::size_t>(file.device));
    return d.plugged && d.plug == file.plug ? -EAGAIN : -EIO;
  }
  std::vector<std::uint8_t> report = std::move(file.queue.front());
  file.queue.erase(file.queue.begin());
  char byte;
  [[maybe_unused]] ssize_t got = ::read(fd, &byte, 1);
  const std::size_t n = std::min(length, report.size());
  std::copy_n(report.begin(), n, buffer);
  return static_cast<long>(n);
}

int FakeSystem::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  const bool blocking = timeoutMs != 0;
  if (blocking) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++pollers_;
    pollersChanged_.notify_all();
  }
  int rc = ::poll(fds, count, timeoutMs);
  if (rc < 0) rc = -errno;
  if (blocking) {
    std::lock_guard<std::mutex> lock(mutex_);
    --pollers_;
  }
  return rc;
}

void FakeSystem::AwaitPoller() {
  std::unique_lock<std::mutex> lock(mutex_);
  pollersChanged_.wait(lock, [this] { return pollers_ > 0; });
}

}  // namespace hidraw::fake
