#include "hid/HidServices.h"

#include "hid/Hid.h"
#include "hid/Kernel32.h"
#include "hid/SetupApi.h"

namespace hid {

HidServices BoundHidServices() {
  HidServices s;
  s.GetAttributes = HidD_GetAttributes();
  s.GetProductString = HidD_GetProductString();
  s.GetPreparsedData = HidD_GetPreparsedData();
  s.FreePreparsedData = HidD_FreePreparsedData();
  s.GetCaps = HidP_GetCaps();
  s.GetNumInputBuffers = HidD_GetNumInputBuffers();
  s.SetNumInputBuffers = HidD_SetNumInputBuffers();
  s.GetFeature = HidD_GetFeature();
  s.SetFeature = HidD_SetFeature();
  s.GetDeviceRegistryProperty = SetupDiGetDeviceRegistryPropertyA();
  s.kernel32 = Kernel32();
  return s;
}

}  // namespace hid
