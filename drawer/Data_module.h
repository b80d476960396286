// The data module both programs share: the HID controller, the protocol's one-shot delay timer
// and the two connect timers, and the device-list rebuild.
#pragma once

#include <string>

#include "hid/HidControllerClass.h"
#include "host/Forms.h"
#include "host/Timer.h"

namespace Data_module {

class TDataModule1 : public host::TDataModule {
 public:
  explicit TDataModule1(host::TComponent* owner);
  ~TDataModule1() override;

  hid::THidDeviceController* HidCtl = nullptr;
  host::TTimer* Timer1 = nullptr;
  host::TTimer* TimerTryToConnect = nullptr;
  host::TTimer* TimerHideTask = nullptr;

  std::string DeviceName(hid::THidDevice* HidDev);
  void HidCtlDeviceChange(host::TObject* Sender);
  void Timer1Timer(host::TObject* Sender);
  // Each program has its own connect handler.
  virtual void TimerTryToConnectTimer(host::TObject* Sender);
  // Stops itself and hides nothing: by then the activation has made the form one pixel in the
  // corner, all that shows of either program.
  void TimerHideTaskTimer(host::TObject* Sender);

  // Bound to the controller, without effect: hot-plug reaches the list through HidCtlDeviceChange.
  void HidCtlArrival(hid::THidDevice* HidDev);
  void HidCtlRemoval(hid::THidDevice* HidDev);
  void HidCtlDeviceDataError(hid::THidDevice* HidDev, DWORD Error);
  bool HidCtlEnumerate(hid::THidDevice* HidDev, int Idx);
};

// The device selected from the list, or null; not owned (the list owns it).
extern hid::THidDevice* CurrentDevice;
extern TDataModule1* DataModule1;

// The product name if the device has one, else "Device VID=xxxx PID=xxxx". Texts are UTF-8.
std::string DeviceNameOf(hid::THidDevice* HidDev);

}  // namespace Data_module
