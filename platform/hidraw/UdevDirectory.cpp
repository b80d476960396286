// The device directory over libudev: hidraw interfaces, what their HID and USB ancestors say of
// them, and hot-plug notifications from udev.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/hidraw/Linux.h"
#include "platform/hidraw/Udev.h"

namespace hidraw::detail {
namespace {

constexpr unsigned kBusUsb = 0x03;

std::string Text(const char* value) {
  return value != nullptr ? value : "";
}

std::string PropertyText(udev_device* device, const char* key) {
  return Text(udev_device_get_property_value(device, key));
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

void ReadUsbDevice(udev_device* usb, InterfaceInfo& info) {
  info.usbParent = true;
  if (const char* product = udev_device_get_sysattr_value(usb, "product")) {
    info.usbProduct = product;
  }
  info.usbManufacturer = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
  info.version =
      static_cast<std::uint16_t>(Number(udev_device_get_sysattr_value(usb, "bcdDevice"), 16));
  info.usbBusNumber = Number(udev_device_get_sysattr_value(usb, "busnum"), 10);
  info.usbAddress = Number(udev_device_get_sysattr_value(usb, "devnum"), 10);
}

// Parents returned by libudev belong to their child: none of them is released here.
std::optional<InterfaceInfo> InfoOf(udev_device* device) {
  const char* node = udev_device_get_devnode(device);
  const char* syspath = udev_device_get_syspath(device);
  if (node == nullptr || syspath == nullptr) return std::nullopt;
  InterfaceInfo info;
  info.syspath = syspath;
  info.devnode = node;
  info.devnum = udev_device_get_devnum(device);
  struct stat st {};
  if (::stat(node, &st) == 0) info.nodeInode = st.st_ino;

  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  if (hid == nullptr) return info;
  const unsigned bus = ParseHidId(PropertyText(hid, "HID_ID"), info);
  info.hidName = PropertyText(hid, "HID_NAME");
  info.hidPhys = PropertyText(hid, "HID_PHYS");
  info.hidDriver = Text(udev_device_get_driver(hid));
  if (udev_device* carrier = udev_device_get_parent(hid)) {
    info.busDriver = Text(udev_device_get_driver(carrier));
  }
  // Only a device on the USB bus has its strings on a USB device: a Bluetooth device behind a
  // USB radio has the radio as its USB ancestor.
  if (bus == kBusUsb) {
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(hid, "usb", "usb_device")) {
      ReadUsbDevice(usb, info);
    }
  }
  return info;
}

class UdevChangeSource final : public ChangeSource {
 public:
  UdevChangeSource(UdevPtr udev, UdevMonitorPtr monitor)
      : udev_(std::move(udev)), monitor_(std::move(monitor)) {}

  int Fd() const override { return udev_monitor_get_fd(monitor_.get()); }

  int Drain() override {
    int n = 0;
    // The monitor's socket is non-blocking: this ends when nothing more is waiting.
    while (UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())}) ++n;
    return n;
  }

 private:
  UdevPtr udev_;  // declared first: the monitor goes before its context
  UdevMonitorPtr monitor_;
};

class UdevDirectory final : public DeviceDirectory {
 public:
  std::vector<InterfaceInfo> Enumerate() override {
    std::lock_guard<std::mutex> lock(mutex_);  // a udev context serves one thread at a time
    std::vector<InterfaceInfo> found;
    if (!udev_) return found;
    UdevEnumeratePtr enumerate{udev_enumerate_new(udev_.get())};
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
      return found;
    }
    udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get());
    for (; entry != nullptr; entry = udev_list_entry_get_next(entry)) {
      UdevDevicePtr device{
          udev_device_new_from_syspath(udev_.get(), udev_list_entry_get_name(entry))};
      if (!device) continue;  // gone since the scan
      if (auto info = InfoOf(device.get())) found.push_back(std::move(*info));
    }
    return found;
  }

  std::optional<InterfaceInfo> Describe(std::uint64_t devnum) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!udev_) return std::nullopt;
    UdevDevicePtr device{udev_device_new_from_devnum(udev_.get(), 'c', devnum)};
    if (!device) return std::nullopt;
    const char* subsystem = udev_device_get_subsystem(device.get());
    if (subsystem == nullptr || std::strcmp(subsystem, "hidraw") != 0) return std::nullopt;
    return InfoOf(device.get());
  }

  std::unique_ptr<ChangeSource> Watch() override {
    // A context of its own: the watch thread uses it while others enumerate.
    UdevPtr udev{udev_new()};
    if (!udev) return nullptr;
    // The "udev" source, not the kernel's: its events come after udev has made the node and
    // set its permissions, so the enumeration they cause can open it.
    UdevMonitorPtr monitor{udev_monitor_new_from_netlink(udev.get(), "udev")};
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
      return nullptr;
    }
    return std::make_unique<UdevChangeSource>(std::move(udev), std::move(monitor));
  }

 private:
  std::mutex mutex_;
  UdevPtr udev_{udev_new()};
};

}  // namespace

std::shared_ptr<DeviceDirectory> MakeUdevDirectory() {
  return std::make_shared<UdevDirectory>();
}

}  // namespace hidraw::detail
