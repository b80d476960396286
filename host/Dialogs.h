// Message boxes: a text the person must acknowledge.
#pragma once

#include <string>

#include "host/WinDefs.h"

namespace host {

enum class TMsgDlgType { mtError, mtInformation };

// Shows the message over `owner` (null: over no window) and returns once the person has
// dismissed it; messages, hooks and timers keep being served meanwhile. Right to left: the text
// reads and aligns that way.
void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                    TMsgDlgType type, bool rightToLeft);

}  // namespace host
