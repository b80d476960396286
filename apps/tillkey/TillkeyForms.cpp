#include "apps/tillkey/TillkeyForms.h"

#include <algorithm>
#include <string>

#include "apps/tillkey/HotkeyTrigger.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/FormatSettings.h"
#include "host/Icons.h"
#include "host/Messages.h"
#include "host/Shell.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "hotkey/setup_u.h"

namespace Main_u {
bool CtrlDown = false;
bool AltDown = false;
bool ShiftDown = false;
bool CloseRequested = false;
}  // namespace Main_u

namespace tillkey {
namespace {

using host::TNotifyEvent;

host::TLabel* NewLabel(host::TComponent* owner, const char* name, const char* caption, int height) {
  auto* label = new host::TLabel(owner);
  label->SetName(name);
  label->SetCaption(caption);
  label->SetFont(host::TFont{"Tahoma", height, true});
  return label;
}

host::TMenuItem* NewMenuItem(host::TComponent* owner, host::TPopupMenu* menu, const char* name,
                             const char* caption) {
  auto* item = new host::TMenuItem(owner);
  item->SetName(name);
  item->SetCaption(caption);
  menu->Items()->Add(item);
  return item;
}

TMainForm* ResidentForm() {
  return dynamic_cast<TMainForm*>(Main_u::MainForm);
}

}  // namespace

// The data module.

void TDataModule1::TimerTryToConnectTimer(host::TObject*) {
  TMainForm* form = ResidentForm();
  if (form != nullptr) form->KeepHookAlive();
  // Ten idle ticks a second are the resident program's whole cost: without a request the timer
  // runs on as it is (its next tick is 100 ms away either way) instead of being stopped and
  // started again, which costs the system two calls a tick.
  if (!public_u::global_vars.OpenRequested) return;
  TimerTryToConnect->SetEnabled(false);
  public_u::global_vars.OpenRequested = false;
  try {
    public_u::OpenDrawer();
  } catch (...) {
    // The next press tries again; whether this one opened the drawer is not the shell's affair.
    host::TraceDroppedException("the connect timer");
  }
  // The opening retrieves messages while it waits, but a device that answers slowly can still
  // keep the thread away from them for long.
  if (form != nullptr) form->KeepHookAlive();
  TimerTryToConnect->SetEnabled(true);
}

// The main form.

TMainForm::TMainForm(host::TComponent* owner) : Main_u::TMainForm(owner) {
  SetBounds(0, 0, 493, 257);
  // Built as if read from its stored form: the tray icon and the instance guard act in Loaded,
  // in this order, once every property is set.
  BeginLoading();
  TrayIcon1 = new TrayIcon::TTrayIcon(this);
  TrayIcon1->SetName("TrayIcon1");
  Label6 = NewLabel(this, "Label6", "XX", 13);
  Label7 = NewLabel(this, "Label7", "XX", 13);
  Label5 = NewLabel(this, "Label5", "XX", 13);
  Label4 = NewLabel(this, "Label4", "XX", 13);
  Label2 = NewLabel(this, "Label2", "", 27);
  PopupMenu1 = new host::TPopupMenu(this);
  PopupMenu1->SetName("PopupMenu1");
  N2 = NewMenuItem(this, PopupMenu1, "N2", "-");
  Setup1 = NewMenuItem(this, PopupMenu1, "Setup1", "Setup Cash Drawer");
  Setup1->OnClick = TNotifyEvent::Of<&TMainForm::Setup1Click>(this);
  N3 = NewMenuItem(this, PopupMenu1, "N3", "-");
  CloseQVScan1 = NewMenuItem(this, PopupMenu1, "CloseQVScan1", "Close Cash Drawer Control");
  CloseQVScan1->OnClick = TNotifyEvent::Of<&TMainForm::CloseQVScan1Click>(this);
  N4 = NewMenuItem(this, PopupMenu1, "N4", "-");
  HideMenu1 = NewMenuItem(this, PopupMenu1, "HideMenu1", "Hide Menu");  // only closes the menu

  host::TIcon picture;
  picture.LoadFromResourceName(host::kProgramIconName);
  TrayIcon1->SetIcon(picture);
  TrayIcon1->SetCycleInterval(0);
  TrayIcon1->SetIconVisible(true);
  TrayIcon1->SetIconIndex(0);
  TrayIcon1->SetPopupMenu(PopupMenu1);
  TrayIcon1->SetMinimizeToTray(true);
  TrayIcon1->OnClick = TNotifyEvent::Of<&TMainForm::TrayIcon1Click>(this);
  TrayIcon1->OnMouseDown = host::TMouseEvent::Of<&TMainForm::TrayIcon1MouseDown>(this);
  TrayIcon1->OnBalloonHintClick = TNotifyEvent::Of<&TMainForm::TrayIcon1BalloonHintClick>(this);
  TrayIcon1->OnStartup = TrayIcon::TStartupEvent::Of<&TMainForm::TrayIcon1Startup>(this);

  InstanceGuard1 = new InstanceGuard::TInstanceGuard(this);
  InstanceGuard1->SetName("InstanceGuard1");
  InstanceGuard1->Enabled = true;
  InstanceGuard1->MaxInstances = 1;

  OnCreate = TNotifyEvent::Of<&TMainForm::FormCreate>(this);
  OnCloseQuery = host::TCloseQueryEvent::Of<&TMainForm::FormCloseQuery>(this);
  EndLoading();
}

TMainForm::~TMainForm() {
  // The system hook goes first: a key pressed while the rest is taken down must not reach the
  // labels or the settings half gone.
  KeyboardHook.reset();
  if (host::Application != nullptr) {
    host::Application->UnhookMainWindow(host::TWindowHook::Of<&TMainForm::AppWindowMessage>(this));
    if (host::Application->OnMinimize.Identical(TNotifyEvent::Of<&TMainForm::AppMinimize>(this))) {
      host::Application->OnMinimize = nullptr;
    }
    if (host::Application->OnRestore.Identical(TNotifyEvent::Of<&TMainForm::AppRestore>(this))) {
      host::Application->OnRestore = nullptr;
    }
  }
}

void TMainForm::FormCreate(host::TObject*) {
  host::Application->OnMinimize = TNotifyEvent::Of<&TMainForm::AppMinimize>(this);
  host::Application->OnRestore = TNotifyEvent::Of<&TMainForm::AppRestore>(this);
  // The quit request of `tillkey /QUIT` and the end of the session come to the application
  // window; nothing in them depends on what follows.
  quitRequestMessage_ = host::RegisterWindowMessageA(kQuitRequestMessageName);
  host::Application->HookMainWindow(host::TWindowHook::Of<&TMainForm::AppWindowMessage>(this));
  // An installer or a script asks from its own level, which may be lower than ours.
  host::AcceptFromLowerLevels(host::Application->Handle(), quitRequestMessage_);

  host::ShortDateFormat = "dd/MM/yy";
  host::ShortTimeFormat = "hh:nn";
  host::LongTimeFormat = "hh:nn";
  host::TimeSeparator = ':';
  host::DateSeparator = '/';

  KeyboardHook = std::make_unique<hooks::TLowLevelKeyboardHook>();
  KeyboardHook->OnPreExecute = hooks::THookNotify::Of<&TMainForm::HookPreExecute>(this);
  KeyboardHook->SetActive(false);
  public_u::global_vars.OpenRequested = false;
  setup_u::LoadSettings();
  SendToTray();
  KeyboardHook->SetActive(true);
  // What the start-up itself cost the thread is not a stall of the resident program.
  host::TakeLongestRetrievalGap();
}

void TMainForm::FormActivate(host::TObject*) {
  SetBounds(0, 0, 1, 1);
  if (Data_module::DataModule1 != nullptr) {
    Data_module::DataModule1->TimerHideTask->SetEnabled(true);
  }
}

void TMainForm::FormCloseQuery(host::TObject*, bool& CanClose) {
  CanClose = false;
  TrayIcon1->HideMainForm();
  TrayIcon1->SetIconVisible(true);
  if (Main_u::CloseRequested) CanClose = true;
}

void TMainForm::AppMinimize(host::TObject*) {
  SendToTray();
}

void TMainForm::AppRestore(host::TObject*) {
  RestoreFromTray();
}

void TMainForm::SendToTray() {
  host::Application->Minimize();
  TrayIcon1->ShowTaskbarIcon();
  TrayIcon1->HideMainForm();
}

void TMainForm::RestoreFromTray() {
  TrayIcon1->RestoreMainForm();
  if (Visible()) SetFocus();
}

void TMainForm::QuitFromTray() {
  Main_u::CloseRequested = true;
  TrayIcon1->SetIconVisible(false);
  TrayIcon1->HideTaskbarIcon();
  Close();
}

void TMainForm::TrayIcon1Click(host::TObject*) {
  RestoreFromTray();
}

void TMainForm::TrayIcon1MouseDown(host::TObject*, host::TMouseButton, host::TShiftState, int,
                                   int) {
  RestoreFromTray();
}

void TMainForm::TrayIcon1BalloonHintClick(host::TObject*) {
  host::SetForegroundWindow(host::Application->Handle());
  RestoreFromTray();
}

void TMainForm::TrayIcon1Startup(host::TObject*, bool& ShowMainForm) {
  ShowMainForm = false;
}

void TMainForm::Setup1Click(host::TObject*) {
  setup_u::ShowSetupDialog();
}

void TMainForm::CloseQVScan1Click(host::TObject*) {
  QuitFromTray();
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
  // The trace names no key: what a cashier types elsewhere is none of its business.
  if (decision.RequestOpen) {
    public_u::global_vars.OpenRequested = true;
    if (host::Tracing()) host::TraceLine("hotkey", "an opening requested");
  }
  Hookmsg.Result = decision.Result;
}

bool TMainForm::KeepHookAlive() {
  const std::int64_t gap = host::TakeLongestRetrievalGap();
  longestGapMs_ = std::max(longestGapMs_, gap);
  if (!KeyboardHook || !KeyboardHook->Active()) return false;
  if (gap < kHookReinstallGapMs && !reinstallFailing_) return false;
  if (gap >= kHookReinstallGapMs && host::Tracing()) {
    host::TraceLine("hook", "the thread went " + std::to_string(gap) +
                                " ms without retrieving messages: installing the hook again");
  }
  try {
    // The new hook comes before the old one goes: when the system refuses it, the old one is
    // all there is, and it may still work.
    KeyboardHook->Reinstall();
  } catch (...) {
    // Every later tick tries again; the person is told once, as when the program could not
    // install its hook at start.
    if (!reinstallFailing_) {
      reinstallFailing_ = true;
      host::Application->HandleException(this);
    }
    return false;
  }
  if (reinstallFailing_) {
    reinstallFailing_ = false;
    host::TraceLine("hook", "installed again after the system had refused it");
  }
  // The modifier flags follow what the hook has seen since its installation, and a key held then
  // counts as up: a Ctrl released while no hook was there would otherwise stay down, and every
  // bare F12 would open the drawer.
  Main_u::CtrlDown = Main_u::AltDown = Main_u::ShiftDown = false;
  return true;
}

bool TMainForm::AppWindowMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (quitRequestMessage_ != 0 && msg == quitRequestMessage_) {
    QuitFromTray();
    result = 0;
    return true;
  }
  switch (msg) {
    case WM_QUERYENDSESSION:
      // The close refusal is for close requests; the end of the session is not one.
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      if (wParam != 0) EndOfSession();
      result = 0;
      return true;
    default:
      return false;
  }
}

void TMainForm::EndOfSession() {
  host::TraceLine("session", "ending: the hook and the icon go now");
  KeyboardHook.reset();
  TrayIcon1->SetIconVisible(false);
  host::Application->Terminate();
}

void RunTillkey() {
  apps::RunProgram<TDataModule1, TMainForm>([](TMainForm& form) {
    if (!host::Tracing()) return;
    form.KeepHookAlive();  // takes the last stretch in too
    host::TraceLine("gui thread", "longest stretch without retrieving messages: " +
                                      std::to_string(form.LongestRetrievalGapMs()) + " ms");
  });
}

}  // namespace tillkey
