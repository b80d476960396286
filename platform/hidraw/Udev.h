// libudev, loaded when the hidraw services are chosen rather than by the dynamic loader at start:
// a program that runs on a scenario never pays for it, and one on a machine without it still runs,
// with no devices. The entry points the directory uses are listed once, below; each is bound by
// its own name with the signature the library's header gives it, and nothing links the library,
// so a call that bypasses the binding fails the build.
#pragma once

#include <libudev.h>

#include <memory>
#include <string>
#include <utility>

namespace hidraw::detail {

// libudev's ABI 1, the file the libudev1 package installs.
inline constexpr const char* kUdevLibraryName = "libudev.so.1";

// A library loaded with dlopen, closed by its owner. Move-only.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  // The library, or an empty owner with the loader's reason in `why`.
  static SharedLibrary Open(const char* fileName, std::string& why);
  ~SharedLibrary() { Reset(); }
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  // The address of an exported symbol; null when there is none (or nothing is loaded).
  void* Symbol(const char* name) const;
  void Reset();

 private:
  explicit SharedLibrary(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// X(name) for every libudev entry point the directory calls.
#define TILL_UDEV_ENTRY_POINTS(X)                    \
  X(udev_new)                                        \
  X(udev_unref)                                      \
  X(udev_device_new_from_syspath)                    \
  X(udev_device_new_from_devnum)                     \
  X(udev_device_unref)                               \
  X(udev_device_get_devnode)                         \
  X(udev_device_get_syspath)                         \
  X(udev_device_get_devnum)                          \
  X(udev_device_get_subsystem)                       \
  X(udev_device_get_driver)                          \
  X(udev_device_get_parent)                          \
  X(udev_device_get_parent_with_subsystem_devtype)   \
  X(udev_device_get_property_value)                  \
  X(udev_device_get_sysattr_value)                   \
  X(udev_enumerate_new)                              \
  X(udev_enumerate_unref)                            \
  X(udev_enumerate_add_match_subsystem)              \
  X(udev_enumerate_scan_devices)                     \
  X(udev_enumerate_get_list_entry)                   \
  X(udev_list_entry_get_next)                        \
  X(udev_list_entry_get_name)                        \
  X(udev_monitor_new_from_netlink)                   \
  X(udev_monitor_unref)                              \
  X(udev_monitor_filter_add_match_subsystem_devtype) \
  X(udev_monitor_enable_receiving)                   \
  X(udev_monitor_get_fd)                             \
  X(udev_monitor_receive_device)                     \
  X(udev_queue_new)                                  \
  X(udev_queue_unref)                                \
  X(udev_queue_get_udev_is_active)

// Releases a libudev object's reference once, through the bound unref entry point.
template <class T>
struct UdevRelease {
  T* (*unref)(T*) = nullptr;
  void operator()(T* object) const {
    if (object != nullptr && unref != nullptr) unref(object);
  }
};

using UdevPtr = std::unique_ptr<udev, UdevRelease<udev>>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevRelease<udev_device>>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevRelease<udev_enumerate>>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevRelease<udev_monitor>>;
using UdevQueuePtr = std::unique_ptr<udev_queue, UdevRelease<udev_queue>>;

// libudev loaded, with every entry point above bound. Shared by the objects made through it, each
// of which keeps it loaded while it lives.
class UdevLibrary {
 public:
  // Null when the library cannot be loaded or lacks an entry point; `why` then says which.
  static std::shared_ptr<const UdevLibrary> Load(const char* fileName, std::string& why);

// The argument names the member being declared: it cannot be parenthesized.
#define TILL_UDEV_DECLARE(name) \
  decltype(&::name) name = nullptr;  // NOLINT(bugprone-macro-parentheses)
  TILL_UDEV_ENTRY_POINTS(TILL_UDEV_DECLARE)
#undef TILL_UDEV_DECLARE

  // Owners of new references, released through this library.
  UdevPtr Own(udev* object) const {
    return UdevPtr(object, {udev_unref});
  }
  UdevDevicePtr Own(udev_device* object) const {
    return UdevDevicePtr(object, {udev_device_unref});
  }
  UdevEnumeratePtr Own(udev_enumerate* object) const {
    return UdevEnumeratePtr(object, {udev_enumerate_unref});
  }
  UdevMonitorPtr Own(udev_monitor* object) const {
    return UdevMonitorPtr(object, {udev_monitor_unref});
  }
  UdevQueuePtr Own(udev_queue* object) const {
    return UdevQueuePtr(object, {udev_queue_unref});
  }

 private:
  UdevLibrary() = default;
  SharedLibrary library_;
};

}  // namespace hidraw::detail
