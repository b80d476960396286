#include "drawer/Main_u.h"

#include "drawer/Data_module.h"
#include "drawer/public_u.h"
#include "host/Trace.h"

namespace Main_u {

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(host::TComponent* owner) : host::TForm(owner) {
  MainForm = this;
  BeginLoading();
  SetBorderStyle(host::TBorderStyle::bsNone);
  DevListBox = new host::TListBox(this);
  DevListBox->SetName("DevListBox");
  DevListBox->OnClick = host::TNotifyEvent::Of<&TMainForm::DevListBoxClick>(this);
  OnActivate = host::TNotifyEvent::Of<&TMainForm::FormActivate>(this);
  OnDblClick = host::TNotifyEvent::Of<&TMainForm::FormDblClick>(this);
  EndLoading();
}

TMainForm::~TMainForm() {
  ReleaseListedDevices();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::ReleaseListedDevices() {
  if (Data_module::CurrentDevice != nullptr) {
    Data_module::CurrentDevice->SetOnData(nullptr);
    Data_module::CurrentDevice = nullptr;
  }
  for (int i = 0; i < DevListBox->Count(); ++i) {
    host::TObject* device = DevListBox->Objects(i);
    DevListBox->SetObjects(i, nullptr);
    delete device;  // the check-in
  }
  DevListBox->Clear();
}

std::string TMainForm::DeviceName(hid::THidDevice* HidDev) {
  return Data_module::DeviceNameOf(HidDev);
}

void TMainForm::DevListBoxClick(host::TObject*) {
  using Data_module::CurrentDevice;
  if (CurrentDevice != nullptr) CurrentDevice->SetOnData(nullptr);
  CurrentDevice = nullptr;
  if (DevListBox->Count() > 0 && DevListBox->ItemIndex() >= 0) {
    auto* device = static_cast<hid::THidDevice*>(DevListBox->Objects(DevListBox->ItemIndex()));
    if (device == nullptr) return;
    device->SetOnData(hid::THidDataEvent::Of<&TMainForm::ShowRead>(this));
    CurrentDevice = device;
    if (host::Tracing()) host::TraceLine("selection", "Selection of " + DeviceName(device));
  }
}

void TMainForm::ShowRead(hid::THidDevice*, BYTE, const void*, WORD) {}

bool TMainForm::IsDrawerDevice() {
  hid::THidDevice* device = Data_module::CurrentDevice;
  if (device == nullptr) return false;
  HIDP_CAPS caps;
  device->Caps(caps);
  return !ApplyDrawerRule(caps.FeatureReportByteLength, [this, device] {
            return DeviceName(device);
          }).Any();
}

DrawerRuleFailures ApplyDrawerRule(USHORT featureReportLength,
                                   const std::function<std::string()>& name, bool everyTest) {
  DrawerRuleFailures failures;
  failures.featureReportLength = featureReportLength != kDrawerFeatureReportLength;
  if (!failures.featureReportLength || everyTest) {
    failures.productText = name().find(kDrawerProductText) == std::string::npos;
  }
  return failures;
}

void TMainForm::FormActivate(host::TObject*) {}
void TMainForm::FormDblClick(host::TObject*) {
  public_u::OpenDrawerGuarded();
}

}  // namespace Main_u
