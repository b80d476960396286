// Handles that the bound services hand out, each released through the call of the services that
// made it: which services those are (the system's, the virtual ones, hidraw) is known only at run
// time, so the call travels with the handle.
#pragma once

#include <utility>

#include "hid/WinTypes.h"

namespace hid {

template <class Release>
class ServiceHandle {
 public:
  ServiceHandle() = default;
  ServiceHandle(HANDLE handle, Release release) : handle_(handle), release_(release) {}
  ServiceHandle(ServiceHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)), release_(other.release_) {}
  ServiceHandle& operator=(ServiceHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
      release_ = other.release_;
    }
    return *this;
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() { Close(); }

  // The services answer a failure with the invalid value, some calls with null.
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (Valid() && release_ != nullptr) release_(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  Release release_ = nullptr;
};

// A file handle (a device's, or any other file's), closed through its CloseHandle.
using DeviceHandle = ServiceHandle<PFN_CloseHandle>;
// A device-information set, destroyed through its SetupDiDestroyDeviceInfoList.
using DeviceInfoSet = ServiceHandle<PFN_SetupDiDestroyDeviceInfoList>;

}  // namespace hid
