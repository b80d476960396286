// The product string as HidD_GetProductString serves it: no longer than a USB string descriptor
// holds, in UTF-16LE with its terminator. Where the text comes from is the backend's own.
#pragma once

#include <string>

#include "hid/WinTypes.h"

namespace platform::common {

// `utf8` as the device would serve it: a USB string descriptor holds at most 126 characters.
std::u16string UsbString(const std::string& utf8);

// Copies `text` with its terminator into the caller's buffer; FALSE with
// ERROR_INSUFFICIENT_BUFFER when it does not fit.
BOOLEAN CopyProductString(const std::u16string& text, PVOID buffer, ULONG length);

}  // namespace platform::common
