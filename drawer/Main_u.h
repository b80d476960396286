// The part of the main form both programs share: the device list, the selection and the test
// that recognises the drawer interface.
#pragma once

#include <string>

#include "hid/HidControllerClass.h"
#include "host/Forms.h"
#include "host/StdCtrls.h"

namespace Main_u {

class TMainForm : public host::TForm {
 public:
  explicit TMainForm(host::TComponent* owner);
  // Releases (checks in) the devices still listed.
  ~TMainForm() override;

  host::TListBox* DevListBox = nullptr;

  std::string DeviceName(hid::THidDevice* HidDev);
  void DevListBoxClick(host::TObject* Sender);
  void ShowRead(hid::THidDevice* HidDev, BYTE ReportID, const void* Data, WORD Size);
  bool IsDrawerDevice();

  // Each program has its own activation and double-click handlers.
  virtual void FormActivate(host::TObject* Sender);
  virtual void FormDblClick(host::TObject* Sender);
};

extern TMainForm* MainForm;

// What the drawer interface's product string contains (case-sensitive), and the length of its
// feature report.
inline constexpr const char* kDrawerProductText = "QV USB Cash";
inline constexpr USHORT kDrawerFeatureReportLength = 5;

}  // namespace Main_u
