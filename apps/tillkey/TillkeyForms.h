// tillkey's own part of the shared main form: the labels that show each key event, and the
// keyboard hook's handler that recognises the hotkey.
#pragma once

#include <memory>

#include "drawer/Main_u.h"
#include "host/Forms.h"
#include "host/StdCtrls.h"
#include "hotkey/hooks.h"

namespace Main_u {
// Whether a key of each modifier pair is down, as far as the hook has seen since it started; a
// key already held then counts as up until its next event.
extern bool CtrlDown;
extern bool AltDown;
extern bool ShiftDown;
}  // namespace Main_u

namespace tillkey {

class TMainForm : public Main_u::TMainForm {
 public:
  explicit TMainForm(host::TComponent* owner);

  // Each key event the hook sees: flags, scan code and virtual-key code in decimal, and the low
  // byte of its message as one character. The setup dialog reads Label4 to capture a key.
  host::TLabel* Label6 = nullptr;
  host::TLabel* Label7 = nullptr;
  host::TLabel* Label5 = nullptr;
  host::TLabel* Label4 = nullptr;
  host::TLabel* Label2 = nullptr;

  // Null until created. As a member it goes, and the system hook with it, before the base class
  // frees the labels its handler writes to.
  std::unique_ptr<hooks::TLowLevelKeyboardHook> KeyboardHook;

  // KeyboardHook's OnPreExecute: reads the event through its HookStruct, shows it, and leaves
  // in Hookmsg.Result whether the event is swallowed. Without an event in progress it decides
  // nothing.
  void HookPreExecute(hooks::TCustomHook* Hook, hooks::THookMsg& Hookmsg) noexcept;
};

}  // namespace tillkey
