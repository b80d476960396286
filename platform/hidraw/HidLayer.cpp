// The HID class library of the hidraw services: identification from HIDIOCGRAWINFO, the product
// string from the directory, capabilities from the report descriptor, input buffer counts, and
// feature reports over HIDIOCGFEATURE / HIDIOCSFEATURE in the Windows buffer layout.
#include <algorithm>

#include "platform/common/ProductString.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {
namespace {

constexpr BOOLEAN kTrue = 1;
constexpr BOOLEAN kFalse = 0;
// The feature ioctls carry the length in a 14-bit field.
constexpr std::size_t kMaxIoctlLength = (1u << 14) - 1;

BOOLEAN Fail(DWORD error) {
  SetError(error);
  return kFalse;
}

std::shared_ptr<File> Find(HANDLE handle) {
  State& s = TheState();
  Lock lock(s.mutex);
  return FindFileLocked(s, handle);
}

// A call on the device failed: the handle's device may be gone for good.
BOOLEAN FailIo(File& file, int rc) {
  const DWORD error = ErrorOfErrno(-rc);
  if (error == ERROR_DEVICE_NOT_CONNECTED) {
    State& s = TheState();
    Lock lock(s.mutex);
    file.gone = true;
  }
  return Fail(error);
}

BOOLEAN WINAPI HidrawHidD_GetAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) {
  std::shared_ptr<File> file = Find(device);
  if (!file) return kFalse;
  if (attributes == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DeviceIo::RawInfo raw;
  const int rc = file->fd.Io().GetRawInfo(file->fd.Get(), raw);
  if (rc < 0) return FailIo(*file, rc);
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  attributes->VendorID = raw.vendor;
  attributes->ProductID = raw.product;
  attributes->VersionNumber = file->info ? file->info->version : 0;
  return kTrue;
}

// What Windows reads from the device's product string descriptor: the USB device's product
// string, or for a device on another bus the name its driver gives it.
const std::string* ProductText(const File& file) {
  if (!file.info) return nullptr;
  if (file.info->usbParent) return file.info->usbProduct ? &*file.info->usbProduct : nullptr;
  return file.info->hidName.empty() ? nullptr : &file.info->hidName;
}

BOOLEAN WINAPI HidrawHidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) {
  std::shared_ptr<File> file = Find(device);
  if (!file) return kFalse;
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // The text comes from the directory, but the request must still reach a device that is there.
  DeviceIo::RawInfo raw;
  const int rc = file->fd.Io().GetRawInfo(file->fd.Get(), raw);
  if (rc < 0) return FailIo(*file, rc);
  const std::string* text = ProductText(*file);
  if (text == nullptr) return Fail(ERROR_GEN_FAILURE);  // the string request goes unanswered
  return common::CopyProductString(common::UsbString(*text), buffer, length);
}

BOOLEAN WINAPI HidrawHidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
  State& s = TheState();
  Lock lock(s.mutex);
  std::shared_ptr<File> file = FindFileLocked(s, device);
  if (!file) return kFalse;
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const DescriptorCaps* parsed = CapsLocked(*file);
  if (parsed == nullptr) return kFalse;
  HIDP_CAPS caps{};
  caps.Usage = parsed->usage;
  caps.UsagePage = parsed->usagePage;
  caps.InputReportByteLength = parsed->inputReportByteLength;
  caps.OutputReportByteLength = parsed->outputReportByteLength;
  caps.FeatureReportByteLength = parsed->featureReportByteLength;
  caps.NumberLinkCollectionNodes = parsed->linkCollectionNodes;
  *data = s.preparsed.Add(caps);
  return kTrue;
}

BOOLEAN WINAPI HidrawHidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (!s.preparsed.Free(data)) return Fail(ERROR_INVALID_PARAMETER);
  return kTrue;
}

NTSTATUS WINAPI HidrawHidP_GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) {
  State& s = TheState();
  Lock lock(s.mutex);
  return s.preparsed.Caps(data, caps);
}

// Windows asks the device's driver for the count, so a handle whose device has gone fails as
// every other call on it does; the kernel's answer to the cheapest question tells.
std::shared_ptr<File> ConnectedFile(HANDLE device) {
  std::shared_ptr<File> file = Find(device);
  if (!file) return nullptr;
  DeviceIo::RawInfo raw;
  const int rc = file->fd.Io().GetRawInfo(file->fd.Get(), raw);
  if (rc < 0) {
    FailIo(*file, rc);
    return nullptr;
  }
  return file;
}

BOOLEAN WINAPI HidrawHidD_GetNumInputBuffers(HANDLE device, ULONG* count) {
  std::shared_ptr<File> file = ConnectedFile(device);
  if (!file) return kFalse;
  if (count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  State& s = TheState();
  Lock lock(s.mutex);
  *count = file->numInputBuffers;
  return kTrue;
}

BOOLEAN WINAPI HidrawHidD_SetNumInputBuffers(HANDLE device, ULONG count) {
  std::shared_ptr<File> file = ConnectedFile(device);
  if (!file) return kFalse;
  // The range Windows accepts; hidraw's own queue is fixed, so the count is only remembered.
  if (count < 2 || count > 512) return Fail(ERROR_INVALID_PARAMETER);
  State& s = TheState();
  Lock lock(s.mutex);
  file->numInputBuffers = count;
  return kTrue;
}

// The checks both feature calls make before the device sees anything, and the length of the
// report they move: the exact length of the report with that ID, as the system sends it.
std::shared_ptr<File> FeatureTarget(HANDLE device, const void* buffer, ULONG length,
                                    std::size_t& reportLength) {
  State& s = TheState();
  Lock lock(s.mutex);
  std::shared_ptr<File> file = FindFileLocked(s, device);
  if (!file) return nullptr;
  DWORD error = ERROR_SUCCESS;
  const DescriptorCaps* caps = nullptr;
  if (file->gone) {
    error = ERROR_DEVICE_NOT_CONNECTED;
  } else if (file->access == 0) {
    error = ERROR_ACCESS_DENIED;  // a query-only handle exchanges no reports
  } else if (buffer == nullptr || length == 0) {
    error = ERROR_INVALID_PARAMETER;
  } else if ((caps = CapsLocked(*file)) != nullptr) {
    const std::uint8_t id = static_cast<const std::uint8_t*>(buffer)[0];
    const bool known = caps->usesReportIds ? caps->featureReportIds.test(id) : id == 0;
    reportLength = known ? caps->featureReportLengths[id] : 0;
    if (!known || length < caps->featureReportByteLength) error = ERROR_INVALID_PARAMETER;
  } else if (file->gone) {
    error = ERROR_DEVICE_NOT_CONNECTED;
  } else {
    reportLength = length;  // an unreadable descriptor: the caller's length goes through
  }
  if (error == ERROR_SUCCESS && reportLength > kMaxIoctlLength) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetError(error);
    return nullptr;
  }
  return file;
}

BOOLEAN WINAPI HidrawHidD_GetFeature(HANDLE device, PVOID buffer, ULONG length) {
  std::size_t reportLength = 0;
  std::shared_ptr<File> file = FeatureTarget(device, buffer, length, reportLength);
  if (!file) return kFalse;
  // Into a buffer of the report's own length: the kernel asks the device for exactly that.
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::vector<std::uint8_t> report(reportLength, 0);
  report[0] = out[0];
  const int rc = file->fd.Io().GetFeature(file->fd.Get(), report.data(), report.size());
  if (rc < 0) return FailIo(*file, rc);
  std::copy(report.begin(), report.end(), out);
  return kTrue;
}

BOOLEAN WINAPI HidrawHidD_SetFeature(HANDLE device, PVOID buffer, ULONG length) {
  std::size_t reportLength = 0;
  std::shared_ptr<File> file = FeatureTarget(device, buffer, length, reportLength);
  if (!file) return kFalse;
  const int rc = file->fd.Io().SetFeature(file->fd.Get(), static_cast<const std::uint8_t*>(buffer),
                                          reportLength);
  if (rc < 0) return FailIo(*file, rc);
  return kTrue;
}

}  // namespace

common::HidExports HidEntries() {
  return {
      .HidD_GetAttributes = &HidrawHidD_GetAttributes,
      .HidD_GetProductString = &HidrawHidD_GetProductString,
      .HidD_GetPreparsedData = &HidrawHidD_GetPreparsedData,
      .HidD_FreePreparsedData = &HidrawHidD_FreePreparsedData,
      .HidP_GetCaps = &HidrawHidP_GetCaps,
      .HidD_GetNumInputBuffers = &HidrawHidD_GetNumInputBuffers,
      .HidD_SetNumInputBuffers = &HidrawHidD_SetNumInputBuffers,
      .HidD_GetFeature = &HidrawHidD_GetFeature,
      .HidD_SetFeature = &HidrawHidD_SetFeature,
  };
}

}  // namespace hidraw::detail
