// Keys for SendInput: what tests type through the system's own input path.
#pragma once

#include <windows.h>

namespace till_testing {

// A key-down or key-up of one virtual key. Send VK_LCONTROL or VK_RCONTROL rather than VK_CONTROL:
// the hooks then see which of the pair it was.
inline INPUT KeyInput(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace till_testing
