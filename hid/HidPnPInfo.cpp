#include <cstring>
#include <vector>

#include "hid/HidControllerClass.h"

namespace hid {
namespace {

class PropertyReader {
 public:
  PropertyReader(HDEVINFO set, SP_DEVINFO_DATA* devInfo, PFN_SetupDiGetDeviceRegistryPropertyA read)
      : set_(set), devInfo_(devInfo), read_(read) {}

  // The results of the reads are not looked at: a property that is missing leaves the buffer
  // as it was prepared, 0 or an empty text.
  DWORD Dword(DWORD code) const {
    BYTE buffer[4] = {0, 0, 0, 0};
    Read(code, buffer, sizeof(buffer));
    DWORD value;
    std::memcpy(&value, buffer, sizeof(value));
    return value;
  }

  std::string Text(DWORD code) const {
    std::vector<BYTE> buffer(1024, 0);
    Read(code, buffer.data(), static_cast<DWORD>(buffer.size()));
    size_t n = 0;
    while (n < buffer.size() && buffer[n] != 0) ++n;
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  }

  std::vector<std::string> List(DWORD code) const {
    std::vector<BYTE> buffer(16384, 0);
    Read(code, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::vector<std::string> entries;
    size_t i = 0;
    while (i < buffer.size() && buffer[i] != 0) {
      size_t start = i;
      while (i < buffer.size() && buffer[i] != 0) ++i;
      entries.emplace_back(buffer.begin() + static_cast<std::ptrdiff_t>(start),
                           buffer.begin() + static_cast<std::ptrdiff_t>(i));
      ++i;  // past the NUL
    }
    return entries;
  }

 private:
  void Read(DWORD code, BYTE* buffer, DWORD size) const {
    if (read_ == nullptr) return;
    DWORD type = 0;
    DWORD required = 0;
    read_(set_, devInfo_, code, &type, buffer, size, &required);
  }

  HDEVINFO set_;
  SP_DEVINFO_DATA* devInfo_;
  PFN_SetupDiGetDeviceRegistryPropertyA read_;
};

}  // namespace

THidPnPInfo::THidPnPInfo(DWORD deviceId, std::string devicePath)
    : DeviceID(deviceId), DevicePath(std::move(devicePath)) {}

THidPnPInfo::THidPnPInfo(HDEVINFO set, std::string devicePath, SP_DEVINFO_DATA* devInfo,
                         PFN_SetupDiGetDeviceRegistryPropertyA readProperty)
    : DeviceID(devInfo->DevInst), DevicePath(std::move(devicePath)) {
  PropertyReader r(set, devInfo, readProperty);
  Capabilities = r.Dword(SPDRP_CAPABILITIES);
  DeviceClass = r.Text(SPDRP_CLASS);
  ClassGuid = r.Text(SPDRP_CLASSGUID);
  CompatibleIds = r.List(SPDRP_COMPATIBLEIDS);
  ConfigFlags = r.Dword(SPDRP_CONFIGFLAGS);
  DeviceDesc = r.Text(SPDRP_DEVICEDESC);
  Driver = r.Text(SPDRP_DRIVER);
  FriendlyName = r.Text(SPDRP_FRIENDLYNAME);
  HardwareId = r.List(SPDRP_HARDWAREID);
  LowerFilters = r.List(SPDRP_LOWERFILTERS);
  Mfg = r.Text(SPDRP_MFG);
  UpperFilters = r.List(SPDRP_UPPERFILTERS);
  Service = r.Text(SPDRP_SERVICE);
  Address = r.Text(SPDRP_ADDRESS);
  BusNumber = r.Dword(SPDRP_BUSNUMBER);
  BusTypeGuid = r.Text(SPDRP_BUSTYPEGUID);
  Characteristics = r.Text(SPDRP_CHARACTERISTICS);
  DevType = r.Dword(SPDRP_DEVTYPE);
  EnumeratorName = r.Text(SPDRP_ENUMERATOR_NAME);
  Exclusive = r.Dword(SPDRP_EXCLUSIVE);
  LegacyBusType = r.Dword(SPDRP_LEGACYBUSTYPE);
  LocationInformation = r.Text(SPDRP_LOCATION_INFORMATION);
  PhysicalDeviceObjectName = r.Text(SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
  SecuritySds = r.Text(SPDRP_SECURITY_SDS);
  UiNumber = r.Dword(SPDRP_UI_NUMBER);
  UiNumberFormat = r.Text(SPDRP_UI_NUMBER_DESC_FORMAT);
}

}  // namespace hid
