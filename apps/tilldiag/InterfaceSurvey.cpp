#include "apps/tilldiag/InterfaceSurvey.h"

#include <memory>

#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/InterfaceWalk.h"
#include "hid/Kernel32.h"
#include "hid/ServiceBindings.h"
#include "hid/SetupApi.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#ifndef _WIN32
#include "host/posix/ErrnoErrors.h"
#endif

namespace tilldiag {
namespace {

std::string ErrorText(DWORD code) {
#ifdef _WIN32
  std::string text = host::SysErrorMessage(code);
#else
  // The HID services report Windows' codes on every platform.
  std::string text = host::TextOfError(code);
#endif
  return text + " (error " + std::to_string(code) + ")";
}

// The reason the device object's read-write open fails, or "" when it succeeds: the object
// makes the same attempt but keeps only its outcome.
std::string ReadWriteRefusal(const std::string& path) {
  const hid::Kernel32Calls& k = hid::Kernel32();
  if (k.CreateFileA == nullptr) return "the file services are not bound";
  if (hid::OpenReadWrite(k, path).Valid()) return "";
  return ErrorText(k.GetLastError != nullptr ? k.GetLastError() : 0);
}

void Examine(InterfaceReport& report, HDEVINFO set, SP_DEVINFO_DATA* devInfo) {
  report.readWriteRefusal = ReadWriteRefusal(report.path);
  try {
    hid::THidDevice device(std::make_unique<hid::THidPnPInfo>(
                               set, report.path, devInfo, hid::SetupDiGetDeviceRegistryPropertyA()),
                           nullptr);
    // Held as the programs hold a listed device, so that its strings and capabilities answer.
    device.SetCheckedOut(true);
    report.access = device.ReadWriteAccess() ? Access::ReadWrite : Access::QueryOnly;
    report.identified = true;
    report.vendorId = device.Attributes().VendorID;
    report.productId = device.Attributes().ProductID;
    report.product = host::Utf16ToUtf8(device.ProductName());
    report.name = Data_module::DeviceNameOf(&device);
    HIDP_CAPS caps{};
    device.Caps(caps);
    report.usagePage = caps.UsagePage;
    report.usage = caps.Usage;
    report.inputReportLength = caps.InputReportByteLength;
    report.featureReportLength = caps.FeatureReportByteLength;
    device.SetCheckedOut(false);
  } catch (const hid::EControllerError& e) {
    if (e.Message() == hid::kDeviceCannotBeOpened) {
      report.access = Access::None;
      report.reasons.push_back("cannot be opened: " + report.readWriteRefusal +
                               "; the programs never see it");
    } else {
      report.access = report.readWriteRefusal.empty() ? Access::ReadWrite : Access::QueryOnly;
      report.reasons.push_back(
          "cannot be identified (its attributes cannot be read); the "
          "programs never see it");
    }
    return;
  }
  report.reasons = DrawerRuleFailures(report.featureReportLength, report.product, report.name);
  report.drawer = report.reasons.empty();
}

}  // namespace

const char* AccessText(Access access) {
  switch (access) {
    case Access::ReadWrite:
      return "read-write";
    case Access::QueryOnly:
      return "query only";
    case Access::None:
      break;
  }
  return "none";
}

std::vector<std::string> DrawerRuleFailures(USHORT featureReportLength, const std::string& product,
                                            const std::string& name) {
  const Main_u::DrawerRuleFailures failed = Main_u::ApplyDrawerRule(
      featureReportLength, [&name] { return name; }, true);
  std::vector<std::string> reasons;
  if (failed.featureReportLength) {
    reasons.push_back("feature report length " + std::to_string(featureReportLength) + ", not " +
                      std::to_string(Main_u::kDrawerFeatureReportLength));
  }
  if (failed.productText) {
    reasons.push_back(product.empty() ? std::string("no product string")
                                      : "the product string lacks \"" +
                                            std::string(Main_u::kDrawerProductText) +
                                            "\" (letter case counts)");
  }
  return reasons;
}

Survey SurveyInterfaces() {
  Survey survey;
  const hid::ServiceBindings bindings;
  if (!hid::HidBound()) return survey;
  GUID guid = kHidInterfaceClassGuid;
  if (auto getGuid = hid::HidD_GetHidGuid()) getGuid(&guid);
  hid::ForEachPresentInterface(
      guid, [&](HDEVINFO set, const std::string& path, SP_DEVINFO_DATA* devInfo) {
        InterfaceReport report;
        report.index = static_cast<int>(survey.interfaces.size());
        report.path = path;
        Examine(report, set, devInfo);
        if (report.drawer && survey.chosen < 0) survey.chosen = report.index;
        survey.interfaces.push_back(std::move(report));
      });
  return survey;
}

}  // namespace tilldiag
