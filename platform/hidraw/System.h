// What the hidraw services need of the machine, behind two small interfaces so that tests can put
// a table of fake devices in its place: the device directory (udev and sysfs: which hidraw
// interfaces exist, what they are, when that changes) and the device calls (open, the hidraw
// ioctls, read, poll).
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hidraw {

// One hidraw interface as the directory describes it. Texts are UTF-8, empty when absent.
struct InterfaceInfo {
  std::string syspath;          // the hidraw device in sysfs
  std::string devnode;          // /dev/hidrawN: the device path the setup library hands out
  std::uint64_t devnum = 0;     // the node's device number
  std::uint64_t nodeInode = 0;  // the node's inode: a new one whenever the node is made again
  std::uint16_t vendorId = 0;   // from the HID device's HID_ID
  std::uint16_t productId = 0;
  std::uint16_t version = 0;  // bcdDevice of the USB device; 0 without one
  std::string hidName;        // HID_NAME
  std::string hidPhys;        // HID_PHYS
  std::string hidDriver;      // driver bound to the HID device (hid-generic, ...)
  std::string busDriver;      // driver of the device the HID device hangs on (usbhid, ...)
  bool usbParent = false;
  std::optional<std::string> usbProduct;  // none: the USB device has no product string
  std::string usbManufacturer;
  std::uint32_t usbBusNumber = 0;
  std::uint32_t usbAddress = 0;
};

// Becomes readable (poll) when a device change is waiting.
class ChangeSource {
 public:
  virtual ~ChangeSource() = default;
  virtual int Fd() const = 0;
  // Takes every waiting change without blocking; returns how many there were.
  virtual int Drain() = 0;
};

// Thread-safe: the GUI thread enumerates while a reader thread may open a handle.
class DeviceDirectory {
 public:
  virtual ~DeviceDirectory() = default;
  // The hidraw interfaces that have a device node, in a stable order.
  virtual std::vector<InterfaceInfo> Enumerate() = 0;
  // The hidraw interface whose node has this device number, if there is one.
  virtual std::optional<InterfaceInfo> Describe(std::uint64_t devnum) = 0;
  // Hot-plug notifications for hidraw interfaces, or null when none can be had.
  virtual std::unique_ptr<ChangeSource> Watch() = 0;
};

// The calls on device nodes, thread-safe. Results follow the kernel's convention: 0 or more on
// success, minus the errno value on failure.
class DeviceIo {
 public:
  struct RawInfo {
    std::uint32_t bustype = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
  };

  virtual ~DeviceIo() = default;
  virtual int Open(const std::string& path, int flags) = 0;  // a descriptor; flags as open(2)
  virtual void Close(int fd) = 0;
  // The device number of a character device; -ENODEV for anything else.
  virtual int DeviceNumber(int fd, std::uint64_t& devnum) = 0;
  virtual int GetRawInfo(int fd, RawInfo& info) = 0;                        // HIDIOCGRAWINFO
  virtual int GetDescriptor(int fd, std::vector<std::uint8_t>& bytes) = 0;  // HIDIOCGRDESC
  // HIDIOCGFEATURE / HIDIOCSFEATURE: byte 0 is the report ID (0 for unnumbered reports); the
  // result is the byte count the kernel reports.
  virtual int GetFeature(int fd, std::uint8_t* buffer, std::size_t length) = 0;
  virtual int SetFeature(int fd, const std::uint8_t* buffer, std::size_t length) = 0;
  // One input report; -EAGAIN when none is waiting (descriptors are non-blocking).
  virtual long Read(int fd, std::uint8_t* buffer, std::size_t length) = 0;
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

struct System {
  std::shared_ptr<DeviceDirectory> directory;
  std::shared_ptr<DeviceIo> io;
};

}  // namespace hidraw
