// The HID class library of the virtual services: identification, product string, preparsed data
// and capabilities, input buffer counts and the feature-report exchange with the firmware.
#include "platform/common/ProductString.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"

namespace virtualhid::detail {
namespace {

constexpr BOOLEAN kTrue = 1;
constexpr BOOLEAN kFalse = 0;

BOOLEAN Fail(DWORD error) {
  SetError(error);
  return kFalse;
}

BOOLEAN WINAPI VirtualHidD_GetAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_GetAttributes")) return kFalse;
  DWORD error = ERROR_SUCCESS;
  Device* d = UsableDevice(s, device, nullptr, error);
  if (d == nullptr) return Fail(error);
  if (attributes == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!d->config.identify) return Fail(ERROR_GEN_FAILURE);
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  attributes->VendorID = d->config.vendorId;
  attributes->ProductID = d->config.productId;
  attributes->VersionNumber = d->config.version;
  return kTrue;
}

BOOLEAN WINAPI VirtualHidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_GetProductString")) return kFalse;
  DWORD error = ERROR_SUCCESS;
  Device* d = UsableDevice(s, device, nullptr, error);
  if (d == nullptr) return Fail(error);
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // A device without a product string stalls the string request.
  if (!d->config.product) return Fail(ERROR_GEN_FAILURE);
  return common::CopyProductString(d->product, buffer, length);
}

HIDP_CAPS CapsOf(const DeviceConfig& c) {
  HIDP_CAPS caps{};
  caps.Usage = c.usage;
  caps.UsagePage = c.usagePage;
  caps.InputReportByteLength = c.inputReportLength;
  caps.OutputReportByteLength = c.outputReportLength;
  caps.FeatureReportByteLength = c.featureReportLength;
  caps.NumberLinkCollectionNodes = 1;
  // One value of report-sized bytes per report kind the interface has.
  auto values = [](std::uint16_t length) -> USHORT { return length > 1 ? 1 : 0; };
  auto indices = [](std::uint16_t length) -> USHORT { return length > 1 ? length - 1 : 0; };
  caps.NumberInputValueCaps = values(c.inputReportLength);
  caps.NumberInputDataIndices = indices(c.inputReportLength);
  caps.NumberOutputValueCaps = values(c.outputReportLength);
  caps.NumberOutputDataIndices = indices(c.outputReportLength);
  caps.NumberFeatureValueCaps = values(c.featureReportLength);
  caps.NumberFeatureDataIndices = indices(c.featureReportLength);
  return caps;
}

BOOLEAN WINAPI VirtualHidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_GetPreparsedData")) return kFalse;
  DWORD error = ERROR_SUCCESS;
  Device* d = UsableDevice(s, device, nullptr, error);
  if (d == nullptr) return Fail(error);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *data = s.preparsed.Add(CapsOf(d->config));
  return kTrue;
}

BOOLEAN WINAPI VirtualHidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_FreePreparsedData")) return kFalse;
  if (!s.preparsed.Free(data)) return Fail(ERROR_INVALID_PARAMETER);
  return kTrue;
}

NTSTATUS WINAPI VirtualHidP_GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidP_GetCaps")) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  return s.preparsed.Caps(data, caps);
}

BOOLEAN WINAPI VirtualHidD_GetNumInputBuffers(HANDLE device, ULONG* count) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_GetNumInputBuffers")) return kFalse;
  HandleRecord* record = nullptr;
  DWORD error = ERROR_SUCCESS;
  if (UsableDevice(s, device, &record, error) == nullptr) return Fail(error);
  if (count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *count = record->numInputBuffers;
  return kTrue;
}

BOOLEAN WINAPI VirtualHidD_SetNumInputBuffers(HANDLE device, ULONG count) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "HidD_SetNumInputBuffers")) return kFalse;
  HandleRecord* record = nullptr;
  DWORD error = ERROR_SUCCESS;
  if (UsableDevice(s, device, &record, error) == nullptr) return Fail(error);
  if (count < 2 || count > 512) return Fail(ERROR_INVALID_PARAMETER);
  record->numInputBuffers = count;
  return kTrue;
}

// The checks both feature calls make before the firmware sees anything.
Device* FeatureTarget(State& s, HANDLE device, PVOID buffer, ULONG length, DWORD& error) {
  HandleRecord* record = nullptr;
  Device* d = UsableDevice(s, device, &record, error);
  if (d == nullptr) return nullptr;
  if (record->access == 0) {
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  const std::uint16_t featureLength = d->config.featureReportLength;
  if (buffer == nullptr || featureLength == 0 || length < featureLength ||
      static_cast<const std::uint8_t*>(buffer)[0] != 0) {  // the interface has no report IDs
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return d;
}

BOOLEAN WINAPI VirtualHidD_GetFeature(HANDLE device, PVOID buffer, ULONG length) {
  bool unplugged = false;
  BOOLEAN result = kFalse;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    if (TakeFault(s, "HidD_GetFeature")) return kFalse;
    DWORD error = ERROR_SUCCESS;
    Device* d = FeatureTarget(s, device, buffer, length, error);
    if (d == nullptr) return Fail(error);
    if (d->firmware.Get(static_cast<std::uint8_t*>(buffer), error)) {
      result = kTrue;
    } else {
      SetError(error);
    }
    if (d->unplugAfterGet) unplugged = UnplugLocked(s, *d);
  }
  if (unplugged) PostDeviceChange();
  return result;
}

BOOLEAN WINAPI VirtualHidD_SetFeature(HANDLE device, PVOID buffer, ULONG length) {
  bool unplugged = false;
  BOOLEAN result = kFalse;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    if (TakeFault(s, "HidD_SetFeature")) return kFalse;
    DWORD error = ERROR_SUCCESS;
    Device* d = FeatureTarget(s, device, buffer, length, error);
    if (d == nullptr) return Fail(error);
    if (d->firmware.Set(static_cast<const std::uint8_t*>(buffer), error)) {
      result = kTrue;
      if (d->unplugAfterSet) unplugged = UnplugLocked(s, *d);
    } else {
      SetError(error);
    }
  }
  if (unplugged) PostDeviceChange();
  return result;
}

}  // namespace

common::HidExports HidEntries() {
  return {
      .HidD_GetAttributes = &VirtualHidD_GetAttributes,
      .HidD_GetProductString = &VirtualHidD_GetProductString,
      .HidD_GetPreparsedData = &VirtualHidD_GetPreparsedData,
      .HidD_FreePreparsedData = &VirtualHidD_FreePreparsedData,
      .HidP_GetCaps = &VirtualHidP_GetCaps,
      .HidD_GetNumInputBuffers = &VirtualHidD_GetNumInputBuffers,
      .HidD_SetNumInputBuffers = &VirtualHidD_SetNumInputBuffers,
      .HidD_GetFeature = &VirtualHidD_GetFeature,
      .HidD_SetFeature = &VirtualHidD_SetFeature,
  };
}

}  // namespace virtualhid::detail
