#include "hid/ServiceBindings.h"

#include "hid/Hid.h"
#include "hid/Kernel32.h"
#include "hid/SetupApi.h"

namespace hid {

ServiceBindings::ServiceBindings() : setupApi_(BindSetupApi()) {
  if (setupApi_) BindHid();
  if (HidBound()) kernel32_ = BindKernel32();
}

ServiceBindings::~ServiceBindings() {
  // Released by whoever bound it: with the HID binding uncounted, another holder's release may
  // already have unbound HID, and the counts must still drop.
  if (setupApi_) ReleaseSetupApi();
  ReleaseHid();
  if (kernel32_) ReleaseKernel32();
}

}  // namespace hid
