// tilldiag's opening: the programs' own open sequence on their own data module and device list,
// watched through the support trace, so that what is shown is what the programs send and get.
#pragma once

#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace tilldiag {

// One traced event of the opening, its time counted from the start of the sequence.
struct TracedEvent {
  double milliseconds = 0;
  std::string kind;  // "command", "reply", "attempt", "exception", ...
  std::string text;
};

struct OpenOutcome {
  bool listed = true;   // false: the interface asked for is not in the programs' device list
  bool found = false;   // a drawer interface was selected and commanded
  bool opened = false;  // it acknowledged the open command
  std::string device;   // the name of the interface commanded, "" when none was
  std::string devicePath;
  BYTE drawerError = 0;
  std::string meaning;  // what drawerError says
  std::vector<TracedEvent> events;
  double totalMilliseconds = 0;
};

// Builds the programs' data module and main form, lets the device list fill, and runs the open
// sequence: the programs' search when `devicePath` is empty, else the open command written to
// the listed interface with that path. The HID services must be configured already.
OpenOutcome RunOpenSequence(const std::string& devicePath);

}  // namespace tilldiag
