// The program's texts are UTF-8; the system's wide calls take UTF-16.
#pragma once

#include <windows.h>

#include <string>

#include "host/SysUtils.h"

namespace host::win32 {

inline std::wstring Wide(const std::string& utf8) {
  const std::u16string w = Utf8ToUtf16(utf8);
  return std::wstring(w.begin(), w.end());
}

inline std::string Narrow(const std::wstring& wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

// A window's whole text.
inline std::string WindowText(HWND wnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(wnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(wnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

}  // namespace host::win32
