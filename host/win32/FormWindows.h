// What a form's window and its controls' windows need of each other: which control a child
// window shows, how the system's notifications reach it, and the keyboard navigation between
// them.
#pragma once

#include <windows.h>

#include <string>

#include "host/Controls.h"
#include "host/Graphics.h"
#include "host/win32/GdiObject.h"

namespace host::win32 {

class NativeControl {
 public:
  virtual TControl& Control() = 0;
  // A WM_COMMAND notification from one of the control's windows.
  virtual void Notify(HWND child, WORD code) = 0;

 protected:
  ~NativeControl() = default;
};

// The control a child window belongs to, or null.
NativeControl* NativeControlOf(HWND child);

// The system's font nearest to `font` that can show `text`: a text in Hebrew asks for the Hebrew
// character set, so that where the named face lacks its letters the system takes the nearest face
// that has them rather than showing boxes.
FontHandle CreateNativeFont(const TFont& font, const std::string& text);

// Tab, the arrow keys and the rest of a dialog's keyboard navigation within a form: true when the
// message was taken for that (and so is dispatched already).
bool TranslateFormNavigation(MSG& msg);

}  // namespace host::win32
