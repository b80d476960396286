// The device directory over libudev: hidraw interfaces, what their HID and USB ancestors say of
// them, and hot-plug notifications from udev (or from the kernel where no udev daemon runs).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <ostream>

#include "platform/hidraw/Linux.h"
#include "platform/hidraw/Udev.h"

namespace hidraw::detail {
namespace {

constexpr unsigned kBusUsb = 0x03;

std::string Text(const char* value) {
  return value != nullptr ? value : "";
}

std::string PropertyText(const UdevLibrary& u, udev_device* device, const char* key) {
  return Text(u.udev_device_get_property_value(device, key));
}

std::uint32_t Number(const char* text, int base) {
  if (text == nullptr) return 0;
  return static_cast<std::uint32_t>(std::strtoul(text, nullptr, base));
}

// HID_ID is "<bus>:<vendor>:<product>" in hex, e.g. "0003:00001A86:0000E025".
unsigned ParseHidId(const std::string& id, InterfaceInfo& info) {
  unsigned bus = 0;
  unsigned vendor = 0;
  unsigned product = 0;
  if (std::sscanf(id.c_str(), "%x:%x:%x", &bus, &vendor, &product) != 3) return 0;
  info.vendorId = static_cast<std::uint16_t>(vendor);
  info.productId = static_cast<std::uint16_t>(product);
  return bus;
}

void ReadUsbDevice(const UdevLibrary& u, udev_device* usb, InterfaceInfo& info) {
  info.usbParent = true;
  if (const char* product = u.udev_device_get_sysattr_value(usb, "product")) {
    info.usbProduct = product;
  }
  info.usbManufacturer = Text(u.udev_device_get_sysattr_value(usb, "manufacturer"));
  info.version =
      static_cast<std::uint16_t>(Number(u.udev_device_get_sysattr_value(usb, "bcdDevice"), 16));
  info.usbBusNumber = Number(u.udev_device_get_sysattr_value(usb, "busnum"), 10);
  info.usbAddress = Number(u.udev_device_get_sysattr_value(usb, "devnum"), 10);
}

// Parents returned by libudev belong to their child: none of them is released here.
std::optional<InterfaceInfo> InfoOf(const UdevLibrary& u, udev_device* device) {
  const char* node = u.udev_device_get_devnode(device);
  const char* syspath = u.udev_device_get_syspath(device);
  if (node == nullptr || syspath == nullptr) return std::nullopt;
  InterfaceInfo info;
  info.syspath = syspath;
  info.devnode = node;
  info.devnum = u.udev_device_get_devnum(device);
  struct stat st {};
  if (::stat(node, &st) == 0) info.nodeInode = st.st_ino;

  udev_device* hid = u.udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  if (hid == nullptr) return info;
  const unsigned bus = ParseHidId(PropertyText(u, hid, "HID_ID"), info);
  info.hidName = PropertyText(u, hid, "HID_NAME");
  info.hidPhys = PropertyText(u, hid, "HID_PHYS");
  info.hidDriver = Text(u.udev_device_get_driver(hid));
  if (udev_device* carrier = u.udev_device_get_parent(hid)) {
    info.busDriver = Text(u.udev_device_get_driver(carrier));
  }
  // Only a device on the USB bus has its strings on a USB device: a Bluetooth device behind a
  // USB radio has the radio as its USB ancestor.
  if (bus == kBusUsb) {
    if (udev_device* usb =
            u.udev_device_get_parent_with_subsystem_devtype(hid, "usb", "usb_device")) {
      ReadUsbDevice(u, usb, info);
    }
  }
  return info;
}

// Where the notifications come from. The udev daemon's own events come after it has set the
// node's owner and permissions, so the enumeration they cause can open it. Without the daemon (a
// minimal system, an initramfs, some containers) nobody sends those, and a monitor on them would
// stay silent for good; the kernel's events are then the only ones, and they come after devtmpfs
// has made the node, with the permissions it keeps.
const char* SourceOf(const UdevLibrary& u, udev* context) {
  UdevQueuePtr queue = u.Own(u.udev_queue_new(context));
  const bool daemonRuns = queue && u.udev_queue_get_udev_is_active(queue.get()) > 0;
  return daemonRuns ? "udev" : "kernel";
}

class UdevChangeSource final : public ChangeSource {
 public:
  UdevChangeSource(std::shared_ptr<const UdevLibrary> library, UdevPtr udev, UdevMonitorPtr monitor)
      : library_(std::move(library)), udev_(std::move(udev)), monitor_(std::move(monitor)) {}

  int Fd() const override { return library_->udev_monitor_get_fd(monitor_.get()); }

  int Drain() override {
    int n = 0;
    // The monitor's socket is non-blocking: this ends when nothing more is waiting.
    while (UdevDevicePtr device =
               library_->Own(library_->udev_monitor_receive_device(monitor_.get()))) {
      ++n;
    }
    return n;
  }

 private:
  // Released in reverse: the monitor, then its context, then the library both came from.
  std::shared_ptr<const UdevLibrary> library_;
  UdevPtr udev_;
  UdevMonitorPtr monitor_;
};

// Without the library (null) it lists nothing and watches nothing: a machine without libudev
// looks like one without HID devices.
class UdevDirectory final : public DeviceDirectory {
 public:
  explicit UdevDirectory(std::shared_ptr<const UdevLibrary> library)
      : library_(std::move(library)),
        udev_(library_ ? library_->Own(library_->udev_new()) : UdevPtr()) {}

  std::vector<InterfaceInfo> Enumerate() override {
    std::lock_guard<std::mutex> lock(mutex_);  // a udev context serves one thread at a time
    std::vector<InterfaceInfo> found;
    if (!udev_) return found;
    const UdevLibrary& u = *library_;
    UdevEnumeratePtr enumerate = u.Own(u.udev_enumerate_new(udev_.get()));
    if (!enumerate || u.udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw") < 0 ||
        u.udev_enumerate_scan_devices(enumerate.get()) < 0) {
      return found;
    }
    udev_list_entry* entry = u.udev_enumerate_get_list_entry(enumerate.get());
    for (; entry != nullptr; entry = u.udev_list_entry_get_next(entry)) {
      UdevDevicePtr device =
          u.Own(u.udev_device_new_from_syspath(udev_.get(), u.udev_list_entry_get_name(entry)));
      if (!device) continue;  // gone since the scan
      if (auto info = InfoOf(u, device.get())) found.push_back(std::move(*info));
    }
    return found;
  }

  std::optional<InterfaceInfo> Describe(std::uint64_t devnum) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!udev_) return std::nullopt;
    const UdevLibrary& u = *library_;
    UdevDevicePtr device = u.Own(u.udev_device_new_from_devnum(udev_.get(), 'c', devnum));
    if (!device) return std::nullopt;
    const char* subsystem = u.udev_device_get_subsystem(device.get());
    if (subsystem == nullptr || std::strcmp(subsystem, "hidraw") != 0) return std::nullopt;
    return InfoOf(u, device.get());
  }

  std::unique_ptr<ChangeSource> Watch() override {
    if (!library_) return nullptr;
    const UdevLibrary& u = *library_;
    // A context of its own: the watch thread uses it while others enumerate.
    UdevPtr udev = u.Own(u.udev_new());
    if (!udev) return nullptr;
    UdevMonitorPtr monitor =
        u.Own(u.udev_monitor_new_from_netlink(udev.get(), SourceOf(u, udev.get())));
    if (!monitor ||
        u.udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        u.udev_monitor_enable_receiving(monitor.get()) < 0) {
      return nullptr;
    }
    return std::make_unique<UdevChangeSource>(library_, std::move(udev), std::move(monitor));
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<const UdevLibrary> library_;  // before the context, which it releases
  UdevPtr udev_;
};

}  // namespace

std::shared_ptr<DeviceDirectory> MakeUdevDirectory(const char* libraryName, std::ostream& errors) {
  std::string why;
  std::shared_ptr<const UdevLibrary> library = UdevLibrary::Load(libraryName, why);
  if (!library) {
    // Said once, here: every enumeration after this simply finds nothing.
    errors << "hidraw: " << why << "; no HID devices can be listed\n";
  }
  return std::make_shared<UdevDirectory>(std::move(library));
}

}  // namespace hidraw::detail
