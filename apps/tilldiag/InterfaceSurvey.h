// What tilldiag finds among the HID interfaces present: every one the setup services list, also
// those the programs never get to see (an interface that cannot be opened or identified is
// dropped before it reaches their device list), each with the verdict of the programs' rule.
#pragma once

#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace tilldiag {

enum class Access { ReadWrite, QueryOnly, None };

// "read-write", "query only", "none".
const char* AccessText(Access access);

struct InterfaceReport {
  int index = 0;
  std::string path;
  Access access = Access::None;
  // Why a read-write open failed ("" when it succeeded): what a technician must fix first.
  std::string readWriteRefusal;
  bool identified = false;  // the attributes could be read
  WORD vendorId = 0;
  WORD productId = 0;
  std::string product;  // the product string, UTF-8; "" when there is none
  std::string name;     // the name the programs match, as they compose it
  USHORT usagePage = 0;
  USHORT usage = 0;
  USHORT inputReportLength = 0;
  USHORT featureReportLength = 0;
  bool drawer = false;               // what the programs take for the drawer interface
  std::vector<std::string> reasons;  // why it is not, when it is not
};

struct Survey {
  std::vector<InterfaceReport> interfaces;
  // The interface the programs open: the first drawer interface in their order; -1 for none.
  int chosen = -1;
};

// Binds the HID services the programs would bind, walks the interfaces and releases the
// services again. No device object of the programs may exist meanwhile.
Survey SurveyInterfaces();

// The programs' rule applied to what an interface reports, as the reasons it fails; empty when
// the interface is the drawer interface.
std::vector<std::string> DrawerRuleFailures(USHORT featureReportLength, const std::string& product,
                                            const std::string& name);

}  // namespace tilldiag
