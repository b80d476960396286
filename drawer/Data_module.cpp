#include "drawer/Data_module.h"

#include "drawer/Main_u.h"
#include "host/SysUtils.h"
#include "host/Trace.h"

namespace Data_module {

hid::THidDevice* CurrentDevice = nullptr;
TDataModule1* DataModule1 = nullptr;

using host::TNotifyEvent;

TDataModule1::TDataModule1(host::TComponent* owner) : host::TDataModule(owner) {
  DataModule1 = this;
  // Built as if read from its stored form: assigning OnDeviceChange now must not enumerate.
  BeginLoading();
  HidCtl = new hid::THidDeviceController(this);
  HidCtl->SetName("HidCtl");
  HidCtl->SetOnArrival(hid::THidPlugEvent::Of<&TDataModule1::HidCtlArrival>(this));
  HidCtl->SetOnRemoval(hid::THidPlugEvent::Of<&TDataModule1::HidCtlRemoval>(this));
  HidCtl->SetOnDeviceDataError(
      hid::THidDataErrorEvent::Of<&TDataModule1::HidCtlDeviceDataError>(this));
  HidCtl->SetOnEnumerate(hid::THidEnumerateEvent::Of<&TDataModule1::HidCtlEnumerate>(this));
  HidCtl->SetOnDeviceChange(TNotifyEvent::Of<&TDataModule1::HidCtlDeviceChange>(this));

  Timer1 = new host::TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetOnTimer(TNotifyEvent::Of<&TDataModule1::Timer1Timer>(this));

  TimerTryToConnect = new host::TTimer(this);
  TimerTryToConnect->SetName("TimerTryToConnect");
  TimerTryToConnect->SetInterval(100);
  TimerTryToConnect->SetOnTimer(TNotifyEvent::Of<&TDataModule1::TimerTryToConnectTimer>(this));

  TimerHideTask = new host::TTimer(this);
  TimerHideTask->SetName("TimerHideTask");
  TimerHideTask->SetEnabled(false);
  TimerHideTask->SetInterval(50);
  TimerHideTask->SetOnTimer(TNotifyEvent::Of<&TDataModule1::TimerHideTaskTimer>(this));
  EndLoading();
}

TDataModule1::~TDataModule1() {
  if (DataModule1 == this) DataModule1 = nullptr;
}

std::string DeviceNameOf(hid::THidDevice* HidDev) {
  std::u16string product = HidDev->ProductName();
  if (!product.empty()) return host::Utf16ToUtf8(product);
  const HIDD_ATTRIBUTES& a = HidDev->Attributes();
  return host::Format("Device VID=%.4x PID=%.4x",
                      {static_cast<long long>(a.VendorID), static_cast<long long>(a.ProductID)});
}

std::string TDataModule1::DeviceName(hid::THidDevice* HidDev) {
  return DeviceNameOf(HidDev);
}

void TDataModule1::HidCtlDeviceChange(host::TObject*) {
  Main_u::TMainForm* form = Main_u::MainForm;
  if (form == nullptr || form->DevListBox == nullptr) return;
  form->ReleaseListedDevices();
  host::TListBox* list = form->DevListBox;
  hid::THidDevice* device = nullptr;
  while (HidCtl->CheckOutFirst(device)) {
    int line = list->Add(DeviceName(device));
    device->SetNumInputBuffers(128);
    device->SetNumOverlappedBuffers(128);
    list->SetObjects(line, device);
  }
}

void TDataModule1::Timer1Timer(host::TObject*) {
  Timer1->SetEnabled(false);
}

void TDataModule1::TimerTryToConnectTimer(host::TObject*) {}
void TDataModule1::TimerHideTaskTimer(host::TObject*) {
  TimerHideTask->SetEnabled(false);
}

// Hot-plug and read errors change nothing here; the texts they compose go to the support trace
// only.
void TDataModule1::HidCtlArrival(hid::THidDevice* HidDev) {
  if (host::Tracing()) host::TraceLine("arrival", "Arrival of " + DeviceName(HidDev));
}

void TDataModule1::HidCtlRemoval(hid::THidDevice* HidDev) {
  if (host::Tracing()) host::TraceLine("removal", "Removal of " + DeviceName(HidDev));
}

void TDataModule1::HidCtlDeviceDataError(hid::THidDevice*, DWORD Error) {
  if (!host::Tracing()) return;
  host::TraceLine("read error",
                  host::Format("READ ERROR: %s (%x)",
                               {host::SysErrorMessage(Error), static_cast<long long>(Error)}));
}
bool TDataModule1::HidCtlEnumerate(hid::THidDevice*, int) {
  return true;
}

}  // namespace Data_module
