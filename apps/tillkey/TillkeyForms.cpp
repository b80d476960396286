#include "apps/tillkey/TillkeyForms.h"

#include <string>

#include "apps/tillkey/HotkeyTrigger.h"
#include "drawer/public_u.h"
#include "host/Trace.h"
#include "hotkey/setup_u.h"

namespace Main_u {
bool CtrlDown = false;
bool AltDown = false;
bool ShiftDown = false;
}  // namespace Main_u

namespace tillkey {
namespace {

host::TLabel* NewLabel(host::TComponent* owner, const char* name, const char* caption) {
  auto* label = new host::TLabel(owner);
  label->SetName(name);
  label->SetCaption(caption);
  return label;
}

}  // namespace

TMainForm::TMainForm(host::TComponent* owner) : Main_u::TMainForm(owner) {
  Label6 = NewLabel(this, "Label6", "XX");
  Label7 = NewLabel(this, "Label7", "XX");
  Label5 = NewLabel(this, "Label5", "XX");
  Label4 = NewLabel(this, "Label4", "XX");
  Label2 = NewLabel(this, "Label2", "");
}

void TMainForm::HookPreExecute(hooks::TCustomHook* /*Hook*/, hooks::THookMsg& Hookmsg) noexcept {
  const KBDLLHOOKSTRUCT* key = KeyboardHook ? KeyboardHook->HookStruct : nullptr;
  if (key == nullptr) return;
  try {
    Label6->SetCaption(std::to_string(key->flags));
    Label4->SetCaption(std::to_string(key->vkCode));
    Label5->SetCaption(std::to_string(key->scanCode));
    Label2->SetCaption(std::string(1, static_cast<char>(Hookmsg.WParam & 0xFF)));
  } catch (...) {
    // The labels only show the event; the decision below matters more to whoever pressed it.
    host::TraceDroppedException("the hotkey trigger's labels");
  }
  ModifierKeys modifiers{Main_u::CtrlDown, Main_u::AltDown, Main_u::ShiftDown};
  const HotkeyDecision decision = DecideKeyEvent(
      {key->vkCode, key->flags}, modifiers,
      {setup_u::CtrlAltShiftByte, setup_u::PreKey, setup_u::b_laavir_makash_le_windows},
      setup_u::SetupForm != nullptr);
  Main_u::CtrlDown = modifiers.Ctrl;
  Main_u::AltDown = modifiers.Alt;
  Main_u::ShiftDown = modifiers.Shift;
  // Only ever set here: the connect timer takes the request, and presses before it amount to one.
  if (decision.RequestOpen) public_u::global_vars.OpenRequested = true;
  Hookmsg.Result = decision.Result;
}

}  // namespace tillkey
