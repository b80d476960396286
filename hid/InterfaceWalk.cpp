#include "hid/InterfaceWalk.h"

#include <cstddef>
#include <vector>

#include "hid/Kernel32.h"
#include "hid/ServiceHandle.h"
#include "hid/SetupApi.h"

namespace hid {

void ForEachPresentInterface(const GUID& interfaceGuid, const InterfaceVisitor& visit) {
  auto getClassDevs = SetupDiGetClassDevsA();
  auto enumInterfaces = SetupDiEnumDeviceInterfaces();
  auto getDetail = SetupDiGetDeviceInterfaceDetailA();
  auto getLastError = Kernel32().GetLastError;
  if (getClassDevs == nullptr || enumInterfaces == nullptr || getDetail == nullptr) return;

  GUID guid = interfaceGuid;
  // Destroyed however the walk ends: a visitor may raise.
  const DeviceInfoSet set(
      getClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
      SetupDiDestroyDeviceInfoList());
  if (!set.Valid()) return;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!enumInterfaces(set.Get(), nullptr, &guid, index, &interfaceData)) break;
    SP_DEVINFO_DATA devInfo{};
    devInfo.cbSize = sizeof(devInfo);
    DWORD needed = 0;
    getDetail(set.Get(), &interfaceData, nullptr, 0, &needed, &devInfo);
    DWORD error = getLastError != nullptr ? getLastError() : ERROR_INSUFFICIENT_BUFFER;
    // The walk goes on at the next index either way, so one bad interface never hides the ones
    // after it.
    if (needed == 0 || error != ERROR_INSUFFICIENT_BUFFER || needed < kDetailPathOffset + 1) {
      continue;
    }
    std::vector<std::byte> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = kDetailDataSize;
    if (!getDetail(set.Get(), &interfaceData, detail, needed, nullptr, &devInfo)) continue;
    // The path ends at the first NUL or at the end of the buffer, whichever comes first.
    const char* path = reinterpret_cast<const char*>(buffer.data() + kDetailPathOffset);
    size_t maxLength = needed - kDetailPathOffset;
    size_t length = 0;
    while (length < maxLength && path[length] != '\0') ++length;
    visit(set.Get(), std::string(path, length), &devInfo);
  }
}

}  // namespace hid
