// The part of the main form both programs share: the device list, the selection and the test
// that recognises the drawer interface.
#pragma once

#include <functional>
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

  // Checks every listed device in and empties the list; the selection goes first, so that
  // nothing reaches a released device through CurrentDevice and a command under way fails.
  void ReleaseListedDevices();

  host::TListBox* DevListBox = nullptr;

  std::string DeviceName(hid::THidDevice* HidDev);
  void DevListBoxClick(host::TObject* Sender);
  void ShowRead(hid::THidDevice* HidDev, BYTE ReportID, const void* Data, WORD Size);
  bool IsDrawerDevice();

  // Each program has its own activation handler.
  virtual void FormActivate(host::TObject* Sender);
  void FormDblClick(host::TObject* Sender);
};

extern TMainForm* MainForm;

// What the drawer interface's product string contains (case-sensitive), and the length of its
// feature report.
inline constexpr const char* kDrawerProductText = "QV USB Cash";
inline constexpr USHORT kDrawerFeatureReportLength = 5;

// The tests of the drawer rule that an interface fails.
struct DrawerRuleFailures {
  bool featureReportLength = false;
  bool productText = false;  // false too when the name was not looked at
  bool Any() const { return featureReportLength || productText; }
};

// The drawer rule on an interface with a feature report of `featureReportLength` bytes, whose
// name `name` gives. The programs ask for the name only once the length fits; tilldiag asks
// `everyTest`, to name every reason at once.
DrawerRuleFailures ApplyDrawerRule(USHORT featureReportLength,
                                   const std::function<std::string()>& name,
                                   bool everyTest = false);

}  // namespace Main_u
