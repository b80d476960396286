#include "host/Dialogs.h"

#include <windows.h>

#include "host/Messages.h"
#include "host/win32/NativeText.h"

namespace host {

void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                    TMsgDlgType type, bool rightToLeft) {
  UINT flags = MB_OK | (type == TMsgDlgType::mtError ? MB_ICONERROR : MB_ICONINFORMATION);
  if (rightToLeft) flags |= MB_RTLREADING | MB_RIGHT;
  // The box's own loop retrieves the thread's messages (and serves its hooks) until it closes.
  EnteringMessageRetrieval();
  MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), flags);
  LeavingMessageRetrieval();
}

}  // namespace host
