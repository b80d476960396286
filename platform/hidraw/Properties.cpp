#include "platform/hidraw/Properties.h"

#include <set>

namespace hidraw::detail {
namespace {

using common::Dword;
using common::Hex4;
using common::Property;
using common::Text;
using common::Texts;

constexpr std::size_t kDevInstTableBound = 4096;

// The identity of one plug-in of an interface:
// - the syspath runs through the HID device's kernel name "<bus>:<vendor>:<product>.<n>", where
//   n counts every HID device the kernel has created: it stays while the device stays plugged
//   in and differs after each re-plug, even into the same port;
// - the node's device number and inode: devtmpfs makes the node afresh (a new inode) whenever
//   the hidraw device is created again, which also tells apart a driver rebind that keeps the
//   HID device, and so the syspath.
// DevInsts are then handed out from a counter per identity rather than hashed from it, so two
// interfaces can never collide.
std::string IdentityOf(const InterfaceInfo& info) {
  return info.syspath + '\n' + std::to_string(info.devnum) + '\n' + std::to_string(info.nodeInode);
}

}  // namespace

DWORD DevInstLocked(State& s, const InterfaceInfo& info) {
  auto [it, added] = s.devInsts.try_emplace(IdentityOf(info), 0);
  if (added) {
    if (++s.nextDevInst == 0) ++s.nextDevInst;  // 0 stands for no device
    it->second = s.nextDevInst;
  }
  return it->second;
}

void TrimDevInstsLocked(State& s, const std::vector<SetMember>& present) {
  if (s.devInsts.size() <= kDevInstTableBound) return;
  std::set<std::string> keep;
  for (const SetMember& m : present) keep.insert(IdentityOf(m.info));
  std::erase_if(s.devInsts, [&keep](const auto& entry) { return keep.count(entry.first) == 0; });
}

Property PropertyOf(const InterfaceInfo& info, DWORD code) {
  const std::string ids = "VID_" + Hex4(info.vendorId) + "&PID_" + Hex4(info.productId);
  switch (code) {
    case SPDRP_DEVICEDESC:
      return Text(info.usbParent && info.usbProduct ? *info.usbProduct : info.hidName);
    case SPDRP_HARDWAREID:
      return Texts({"HID\\" + ids + "&REV_" + Hex4(info.version), "HID\\" + ids});
    case SPDRP_MFG:
      return Text(info.usbManufacturer);
    case SPDRP_DRIVER:
      return Text(info.hidDriver);
    case SPDRP_SERVICE:
      return Text(info.busDriver);
    case SPDRP_LOCATION_INFORMATION:
      return Text(info.hidPhys);
    case SPDRP_PHYSICAL_DEVICE_OBJECT_NAME:
      return Text(info.syspath);
    case SPDRP_ENUMERATOR_NAME:
      return Text("HID");
    case SPDRP_BUSNUMBER:
      return info.usbParent ? Dword(info.usbBusNumber) : Property{};
    case SPDRP_ADDRESS:
      return info.usbParent ? Dword(info.usbAddress) : Property{};
    default:
      return {};  // class, filters, security, UI number...: Windows notions without a Linux twin
  }
}

}  // namespace hidraw::detail
