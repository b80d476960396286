// tillkey's own parts of the shared data module and main form: the resident program that sits in
// the notification area, recognises the hotkey in its keyboard hook, and opens the drawer at the
// connect timer's next tick. The main form never shows as a usable window: a click on the icon
// brings it back as one pixel in the screen's corner, and only the tray menu's close ends the
// program.
#pragma once

#include <cstdint>
#include <memory>

#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "apps/ProgramStart.h"
#include "host/Controls.h"
#include "host/Forms.h"
#include "host/Menus.h"
#include "host/StdCtrls.h"
#include "hotkey/InstanceGuard.h"
#include "hotkey/hooks.h"
#include "tray/TrayIcon.h"

namespace Main_u {
// Whether a key of each modifier pair is down, as far as the hook has seen since it was last
// installed; a key already held then counts as up until its next event.
extern bool CtrlDown;
extern bool AltDown;
extern bool ShiftDown;
// Set only by the tray menu's close: every other close request is refused.
extern bool CloseRequested;
}  // namespace Main_u

namespace tillkey {

// The application title, the text of the taskbar button.
inline constexpr const char* kTitle = apps::kApplicationTitle;
// The window message, registered under this name, that asks a running copy to end as its tray
// menu's close does (sent to its application window by `tillkey /QUIT`).
inline constexpr const char* kQuitRequestMessageName = "TillkeyQuitFromTray";
// How long the GUI thread may go without retrieving messages before its keyboard hook is
// installed again: the system drops a low-level hook that keeps it waiting past its timeout
// (300 ms unless a machine sets otherwise), without telling the program.
inline constexpr std::int64_t kHookReinstallGapMs = 200;

class TDataModule1 : public Data_module::TDataModule1 {
 public:
  using Data_module::TDataModule1::TDataModule1;
  // Every 100 ms: a hotkey press since the last tick opens the drawer, once.
  void TimerTryToConnectTimer(host::TObject* Sender) override;
};

class TMainForm : public Main_u::TMainForm {
 public:
  explicit TMainForm(host::TComponent* owner);
  ~TMainForm() override;

  TrayIcon::TTrayIcon* TrayIcon1 = nullptr;
  // Each key event the hook sees: flags, scan code and virtual-key code in decimal, and the low
  // byte of its message as one character. The setup dialog reads Label4 to capture a key.
  host::TLabel* Label6 = nullptr;
  host::TLabel* Label7 = nullptr;
  host::TLabel* Label5 = nullptr;
  host::TLabel* Label4 = nullptr;
  host::TLabel* Label2 = nullptr;
  host::TPopupMenu* PopupMenu1 = nullptr;
  host::TMenuItem* N2 = nullptr;
  host::TMenuItem* Setup1 = nullptr;
  host::TMenuItem* N3 = nullptr;
  host::TMenuItem* CloseQVScan1 = nullptr;
  host::TMenuItem* N4 = nullptr;
  host::TMenuItem* HideMenu1 = nullptr;
  InstanceGuard::TInstanceGuard* InstanceGuard1 = nullptr;

  // Null until FormCreate. As a member it goes, and the system hook with it, before the base
  // class frees the labels its handler writes to.
  std::unique_ptr<hooks::TLowLevelKeyboardHook> KeyboardHook;

  void FormCreate(host::TObject* Sender);
  void FormActivate(host::TObject* Sender) override;
  void FormCloseQuery(host::TObject* Sender, bool& CanClose);
  void AppMinimize(host::TObject* Sender);
  void AppRestore(host::TObject* Sender);
  void SendToTray();
  void RestoreFromTray();
  void QuitFromTray();
  void TrayIcon1Click(host::TObject* Sender);
  void TrayIcon1MouseDown(host::TObject* Sender, host::TMouseButton Button, host::TShiftState Shift,
                          int X, int Y);
  void TrayIcon1BalloonHintClick(host::TObject* Sender);
  void TrayIcon1Startup(host::TObject* Sender, bool& ShowMainForm);
  void Setup1Click(host::TObject* Sender);
  void CloseQVScan1Click(host::TObject* Sender);

  // KeyboardHook's OnPreExecute: reads the event through its HookStruct, shows it, and leaves
  // in Hookmsg.Result whether the event is swallowed. Without an event in progress it decides
  // nothing.
  void HookPreExecute(hooks::TCustomHook* Hook, hooks::THookMsg& Hookmsg) noexcept;

  // Installs the active hook again when the GUI thread has lately gone so long without
  // retrieving messages that the system may have dropped it, or when the last such installation
  // was refused. True when it did.
  bool KeepHookAlive();
  // The longest such stretch seen so far, in milliseconds.
  std::int64_t LongestRetrievalGapMs() const { return longestGapMs_; }

 private:
  // The application window's messages that concern the program as a whole: the quit request,
  // and the end of the Windows session.
  bool AppWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The session ends: the process may be ended as soon as the answer is given, so the hook and
  // the icon go now.
  void EndOfSession();

  UINT quitRequestMessage_ = 0;
  std::int64_t longestGapMs_ = 0;
  bool reinstallFailing_ = false;  // the system refused the last installation, and was told
};

// The whole program once the platform's HID services are chosen: returns when it has ended.
void RunTillkey();

}  // namespace tillkey
