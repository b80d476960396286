// The portable backend's message boxes: there is no one to show them to, so each is recorded (and
// traced) and counts as dismissed at once. Tests read what was shown.
#pragma once

#include <string>
#include <vector>

#include "host/Dialogs.h"

namespace host::portable {

struct ShownMessageBox {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  TMsgDlgType type = TMsgDlgType::mtInformation;
  bool rightToLeft = false;
};

// The message boxes shown since the last call, oldest first.
std::vector<ShownMessageBox> TakeShownMessageBoxes();

}  // namespace host::portable
