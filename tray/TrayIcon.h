// An icon in the taskbar's notification area as a component of a form: the shell's mouse
// notifications become events, a right click shows the form's popup menu, and the main form and
// the application's taskbar button can be hidden to the tray and brought back. All icons of a
// process share one hidden window, to which the shell sends its notifications; three simple
// timers per icon drive icon cycling, the single-click/double-click decision and the pointer's
// leaving. GUI thread only.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "host/Component.h"
#include "host/Controls.h"
#include "host/Event.h"
#include "host/Forms.h"
#include "host/Icons.h"
#include "host/Menus.h"
#include "host/Messages.h"
#include "host/WinDefs.h"
#include "tray/SimpleTimer.h"

namespace TrayIcon {

using TCycleEvent = host::Event<void(host::TObject* Sender, int NextIndex)>;
using TStartupEvent = host::Event<void(host::TObject* Sender, bool& ShowMainForm)>;

// The message the shell sends an icon's notifications with.
inline constexpr UINT TrayCallbackMessage = WM_USER + 1024;

class TTrayIcon;

// The shared window of every icon of the process.
class TTrayIconHandler : public host::TObject {
 public:
  TTrayIconHandler();

  // How many icons live.
  DWORD TrayUsers() const { return static_cast<DWORD>(icons_.size()); }
  HWND TrayWindow() const { return window_.Handle(); }

 private:
  friend UINT AcquireTrayHandler(TTrayIcon* icon);
  friend void ReleaseTrayHandler(UINT identity);
  LRESULT TrayWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // The live icons by their identity (the shell's uID, which comes back in wParam). An address
  // does not fit uID on 64-bit Windows; a number from here does, and a notification for an icon
  // gone meanwhile finds nothing.
  std::map<UINT, TTrayIcon*> icons_;
  UINT nextIdentity_ = 1;
  host::HiddenWindow window_;  // last: its method reads the icons
};

// The one handler, null while no icon lives.
extern std::unique_ptr<TTrayIconHandler> TrayHandler;
// The number of the shell's "TaskbarCreated" message, registered whenever the shared window is
// made: 0 before the first icon, and when the common controls are older than 4.71 (whose shell
// does not send it).
extern UINT TaskbarCreatedMsg;

// Registers the handler's use by `icon`; returns the icon's identity.
UINT AcquireTrayHandler(TTrayIcon* icon);
void ReleaseTrayHandler(UINT identity);

class TTrayIcon : public host::TComponent {
 public:
  explicit TTrayIcon(host::TComponent* owner);
  ~TTrayIcon() override;

  // Properties, each set through the rule its setter names.
  host::TCustomImageList* IconList() const { return iconList_; }
  // Then IconIndex := 0.
  void SetIconList(host::TCustomImageList* list);
  // True: IconIndex := 0 and the cycle ticker runs every CycleInterval (not at all for 0).
  void SetCycleIcons(bool value);
  UINT CycleInterval() const { return cycleInterval_; }
  void SetCycleInterval(UINT value);
  // While false every mouse notification is ignored.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  void SetHint(const std::string& value);
  void SetShowHint(bool value);
  host::TIcon& Icon() { return icon_; }
  // Copies the picture into the component's own icon, then UpdateIcon (once).
  void SetIcon(host::TIcon& picture);
  // The last requested state, whether or not the shell agreed.
  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool value);
  int IconIndex() const { return iconIndex_; }
  // Clamped to the list (its last image at most); 0 without a list. The picture is taken from
  // the list.
  void SetIconIndex(int value);
  void SetPopupMenu(host::TPopupMenu* menu);
  // A left button-down shows the popup menu too.
  bool LeftPopup() const { return leftPopup_; }
  void SetLeftPopup(bool value) { leftPopup_ = value; }
  void SetWantEnterExitEvents(bool value);
  void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }

  host::TNotifyEvent OnClick;
  host::TNotifyEvent OnDblClick;
  host::TMouseEvent OnMouseDown;
  host::TMouseEvent OnMouseUp;
  host::TMouseMoveEvent OnMouseMove;
  host::TNotifyEvent OnMouseEnter;
  host::TNotifyEvent OnMouseExit;
  TCycleEvent OnCycle;
  // The balloon events come with the shared handler as Sender.
  host::TNotifyEvent OnBalloonHintShow;
  host::TNotifyEvent OnBalloonHintHide;
  host::TNotifyEvent OnBalloonHintTimeout;
  host::TNotifyEvent OnBalloonHintClick;
  host::TNotifyEvent OnMinimizeToTray;
  TStartupEvent OnStartup;

  // The main form and the application's taskbar button. The main-form operations act only when
  // the owner is a form and the application has a main form.
  void HideTaskbarIcon();
  void ShowTaskbarIcon();
  void RestoreMainForm();
  void HideMainForm();
  virtual void HideToTray();

  // True when the shell was asked and accepted.
  virtual bool AddIcon();
  virtual bool DeleteIcon();
  virtual bool UpdateIcon();

  // Shows the popup menu at a screen point, the way a tray menu must be shown to close again
  // when the person clicks elsewhere.
  void PopupAt(int x, int y);
  void PopupAtCursor();

  // The record the shell gets, as last prepared.
  const NOTIFYICONDATAA& NotifyData() const { return notifyData_; }
  UINT IconIdentity() const { return iconIdentity_; }

 protected:
  void Loaded() override;
  void Notification(host::TComponent* component, host::TOperation operation) override;

  virtual void FireClick();
  virtual void FireDblClick();
  virtual void FireCycle(int NextIndex);
  virtual void FireMouseDown(host::TMouseButton Button, host::TShiftState Shift, int X, int Y);
  virtual void FireMouseUp(host::TMouseButton Button, host::TShiftState Shift, int X, int Y);
  virtual void FireMouseMove(host::TShiftState Shift, int X, int Y);
  virtual void FireMouseEnter();
  virtual void FireMouseExit();

 private:
  friend class TTrayIconHandler;
  // A notification from the shell (lParam of TrayCallbackMessage), and a balloon's.
  void ShellNotification(LPARAM event, host::TObject* handler);

  host::TForm* OwnerForm() const;
  void PrepareNotifyData();
  bool CallShell(DWORD message);
  void IconChanged(host::TObject* Sender);
  void CycleStep(host::TObject* Sender);
  void ClickDecision(host::TObject* Sender);
  void LeaveCheck(host::TObject* Sender);
  bool AppWindowHook(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void HookOwnerWindow();
  void UnhookOwnerWindow();
  LRESULT OwnerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // Hides to the tray instead of minimizing, when a handler is there to be told; true when the
  // message was taken.
  bool TrayMinimizeStep();

  bool enabled_ = true;
  host::TIcon icon_;
  UINT iconIdentity_ = 0;
  bool iconVisible_ = false;
  std::string hint_;
  bool showHint_ = true;
  host::TPopupMenu* popupMenu_ = nullptr;
  bool leftPopup_ = false;
  bool minimizeToTray_ = false;
  bool buttonDownSeen_ = false;
  bool clickArmed_ = false;
  std::unique_ptr<SimpleTimer::TSimpleTimer> cycleTicker_;
  std::unique_ptr<SimpleTimer::TSimpleTimer> clickTicker_;
  std::unique_ptr<SimpleTimer::TSimpleTimer> leaveTicker_;
  int lastPointerX_ = 0;
  int lastPointerY_ = 0;
  bool pointerOutside_ = true;
  bool wantEnterExitEvents_ = false;
  bool doubleClickSeen_ = false;
  int iconIndex_ = 0;
  bool startupCheckPending_ = true;
  host::TCustomImageList* iconList_ = nullptr;
  bool cycleIcons_ = false;
  UINT cycleInterval_ = 0;
  // The owner form's window while it is subclassed, its procedure before, and ours.
  HWND ownerWindow_ = nullptr;
  WNDPROC savedOwnerWndProc_ = nullptr;
  WNDPROC ownerWndProcThunk_ = nullptr;
  NOTIFYICONDATAA notifyData_{};
};

}  // namespace TrayIcon
