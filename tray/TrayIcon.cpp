#include "tray/TrayIcon.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "host/Application.h"
#include "host/ObjectInstance.h"
#include "host/Shell.h"
#include "host/Trace.h"

namespace TrayIcon {

namespace {

constexpr DWORD kComCtl471 = 0x40047;

// Where the shell's record says "with notifications, an icon and a tooltip": never changed.
constexpr UINT kNotifyFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr std::size_t kTipLength = sizeof(NOTIFYICONDATAA::szTip) - 1;

// Asked when the shared window is made, not as the program starts: telling the common controls'
// version loads their library, and nothing may be loaded before main has restricted where
// libraries come from. Here the trace is open too. An icon without the message still works; it
// just does not come back after the shell restarts.
UINT RegisterTaskbarCreated() {
  try {
    const DWORD version = host::GetComCtlVersion();
    if (version < kComCtl471) {
      host::TraceLine("tray", "no TaskbarCreated: common controls version " +
                                  std::to_string(version >> 16) + "." +
                                  std::to_string(version & 0xFFFF) + ", 4.71 needed");
      return 0;
    }
    const UINT message = host::RegisterWindowMessageA("TaskbarCreated");
    if (message == 0) host::TraceLine("tray", "no TaskbarCreated: the message was refused");
    return message;
  } catch (...) {
    host::TraceDroppedException("the TaskbarCreated registration");
    return 0;
  }
}

// The Shift, Ctrl and Alt keys as they are now.
host::TShiftState ReadModifierKeys() {
  host::TShiftState keys = 0;
  if (host::GetAsyncKeyState(VK_SHIFT) < 0) keys |= host::ssShift;
  if (host::GetAsyncKeyState(VK_CONTROL) < 0) keys |= host::ssCtrl;
  if (host::GetAsyncKeyState(VK_MENU) < 0) keys |= host::ssAlt;
  return keys;
}

HWND ApplicationWindow() {
  return host::Application != nullptr ? host::Application->Handle() : nullptr;
}

host::TForm* MainForm() {
  return host::Application != nullptr ? host::Application->MainForm() : nullptr;
}

}  // namespace

std::unique_ptr<TTrayIconHandler> TrayHandler;
UINT TaskbarCreatedMsg = 0;

TTrayIconHandler::TTrayIconHandler()
    : window_(host::WndMethod::Of<&TTrayIconHandler::TrayWindowProc>(this)) {
  // The shell's notifications come from the shell's level, lower than an elevated program's.
  host::AcceptFromLowerLevels(window_.Handle(), TrayCallbackMessage);
}

UINT AcquireTrayHandler(TTrayIcon* icon) {
  if (!TrayHandler) {
    TaskbarCreatedMsg = RegisterTaskbarCreated();
    TrayHandler = std::make_unique<TTrayIconHandler>();
  }
  const UINT identity = TrayHandler->nextIdentity_++;
  TrayHandler->icons_[identity] = icon;
  return identity;
}

void ReleaseTrayHandler(UINT identity) {
  if (!TrayHandler) return;
  TrayHandler->icons_.erase(identity);
  if (TrayHandler->icons_.empty()) TrayHandler.reset();
}

LRESULT TTrayIconHandler::TrayWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == TrayCallbackMessage) {
    auto it = icons_.find(static_cast<UINT>(wParam));
    if (it != icons_.end()) it->second->ShellNotification(lParam, this);
    return 0;
  }
  switch (msg) {
    // The shared window lives as long as its icons do: nothing closes it, and it never stands
    // in the way of the session ending.
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
    case WM_QUIT:
    case WM_ENDSESSION:
    case WM_NCDESTROY:
      return 1;
    default:
      return host::DefaultWindowProc(wnd, msg, wParam, lParam);
  }
}

TTrayIcon::TTrayIcon(host::TComponent* owner) : host::TComponent(owner) {
  iconIdentity_ = AcquireTrayHandler(this);
  icon_.OnChange = host::TNotifyEvent::Of<&TTrayIcon::IconChanged>(this);
  notifyData_.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE);
  notifyData_.hWnd = TrayHandler->TrayWindow();
  notifyData_.uID = iconIdentity_;
  notifyData_.uFlags = kNotifyFlags;
  notifyData_.uCallbackMessage = TrayCallbackMessage;
  cycleTicker_ = std::make_unique<SimpleTimer::TSimpleTimer>();
  cycleTicker_->SetOnElapsed(host::TNotifyEvent::Of<&TTrayIcon::CycleStep>(this));
  clickTicker_ = std::make_unique<SimpleTimer::TSimpleTimer>();
  clickTicker_->SetOnElapsed(host::TNotifyEvent::Of<&TTrayIcon::ClickDecision>(this));
  leaveTicker_ = std::make_unique<SimpleTimer::TSimpleTimer>(
      20, host::TNotifyEvent::Of<&TTrayIcon::LeaveCheck>(this));
  if (host::Application != nullptr) {
    host::Application->HookMainWindow(host::TWindowHook::Of<&TTrayIcon::AppWindowHook>(this));
    // The shell announces its new taskbar from its own level.
    host::AcceptFromLowerLevels(host::Application->Handle(), TaskbarCreatedMsg);
  }
  HookOwnerWindow();
}

TTrayIcon::~TTrayIcon() {
  try {
    SetIconVisible(false);
    cycleTicker_.reset();
    clickTicker_.reset();
    leaveTicker_.reset();
  } catch (...) {
    host::TraceDroppedException("tray icon destruction");
  }
  if (host::Application != nullptr) {
    host::Application->UnhookMainWindow(host::TWindowHook::Of<&TTrayIcon::AppWindowHook>(this));
  }
  UnhookOwnerWindow();
  ReleaseTrayHandler(iconIdentity_);
}

host::TForm* TTrayIcon::OwnerForm() const {
  return dynamic_cast<host::TForm*>(Owner());
}

// Properties.

void TTrayIcon::SetIconList(host::TCustomImageList* list) {
  if (iconList_ != nullptr && iconList_ != list) RemoveFreeNotification(iconList_);
  iconList_ = list;
  if (list != nullptr) FreeNotification(list);
  SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool value) {
  cycleIcons_ = value;
  if (value) {
    SetIconIndex(0);
    cycleTicker_->SetPeriod(cycleInterval_);
    cycleTicker_->SetRunning(true);
  } else {
    cycleTicker_->SetRunning(false);
  }
}

void TTrayIcon::SetCycleInterval(UINT value) {
  if (value == cycleInterval_) return;
  cycleInterval_ = value;
  SetCycleIcons(cycleIcons_);
}

void TTrayIcon::SetHint(const std::string& value) {
  hint_ = value;
  UpdateIcon();
}

void TTrayIcon::SetShowHint(bool value) {
  showHint_ = value;
  UpdateIcon();
}

void TTrayIcon::SetIcon(host::TIcon& picture) {
  const host::TNotifyEvent notify = icon_.OnChange;
  icon_.OnChange = nullptr;
  struct Restore {
    host::TIcon& icon;
    host::TNotifyEvent notify;
    ~Restore() { icon.OnChange = notify; }
  } restore{icon_, notify};
  icon_.Assign(picture);
  UpdateIcon();
}

void TTrayIcon::SetIconVisible(bool value) {
  if (value) {
    AddIcon();
  } else {
    DeleteIcon();
  }
}

void TTrayIcon::SetIconIndex(int value) {
  if (iconList_ != nullptr) {
    iconIndex_ = std::min(value, iconList_->Count() - 1);
    iconList_->GetIcon(iconIndex_, icon_);
  } else {
    iconIndex_ = 0;
  }
  UpdateIcon();
}

void TTrayIcon::SetPopupMenu(host::TPopupMenu* menu) {
  if (popupMenu_ != nullptr && popupMenu_ != menu) RemoveFreeNotification(popupMenu_);
  popupMenu_ = menu;
  if (menu != nullptr) FreeNotification(menu);
}

void TTrayIcon::SetWantEnterExitEvents(bool value) {
  wantEnterExitEvents_ = value;
  leaveTicker_->SetRunning(value);
}

// The shell.

void TTrayIcon::PrepareNotifyData() {
  try {
    notifyData_.hIcon = icon_.Handle();
  } catch (const host::EReadError&) {
    notifyData_.hIcon = nullptr;
  }
  std::memset(notifyData_.szTip, 0, sizeof(notifyData_.szTip));
  if (!hint_.empty() && showHint_) {
    std::memcpy(notifyData_.szTip, hint_.data(), std::min(hint_.size(), kTipLength));
  }
}

bool TTrayIcon::CallShell(DWORD message) {
  PrepareNotifyData();
  return host::Shell_NotifyIconA(message, &notifyData_);
}

bool TTrayIcon::AddIcon() {
  iconVisible_ = true;
  return CallShell(NIM_ADD);
}

bool TTrayIcon::DeleteIcon() {
  iconVisible_ = false;
  return CallShell(NIM_DELETE);
}

bool TTrayIcon::UpdateIcon() {
  return CallShell(NIM_MODIFY);
}

void TTrayIcon::IconChanged(host::TObject*) {
  UpdateIcon();
}

// Life.

void TTrayIcon::Loaded() {
  host::TComponent::Loaded();
  if (OwnerForm() != nullptr) {
    bool showMainForm = true;
    if (OnStartup) OnStartup(this, showMainForm);
    if (!showMainForm) {
      if (host::Application != nullptr) host::Application->ShowMainForm = false;
      HideMainForm();
    }
  }
  UpdateIcon();
  SetIconVisible(iconVisible_);
  SetCycleIcons(cycleIcons_);
  SetWantEnterExitEvents(wantEnterExitEvents_);
  notifyData_.uVersion = 0;
  host::Shell_NotifyIconA(NIM_SETVERSION, &notifyData_);
}

void TTrayIcon::Notification(host::TComponent* component, host::TOperation operation) {
  host::TComponent::Notification(component, operation);
  if (operation != host::TOperation::opRemove) return;
  if (component != nullptr && component == iconList_) SetIconList(nullptr);
  if (component != nullptr && component == popupMenu_) SetPopupMenu(nullptr);
}

// Icons in turn.

void TTrayIcon::CycleStep(host::TObject*) {
  if (iconList_ == nullptr) return;
  iconList_->GetIcon(iconIndex_, icon_);
  const bool last = iconIndex_ >= iconList_->Count() - 1;
  FireCycle(last ? 0 : iconIndex_ + 1);
  // The handler may have taken the list away.
  if (iconList_ == nullptr) return;
  SetIconIndex(iconIndex_ < iconList_->Count() - 1 ? iconIndex_ + 1 : 0);
}

// The mouse.

void TTrayIcon::ShellNotification(LPARAM event, host::TObject* handler) {
  const auto kind = static_cast<UINT>(event);
  switch (kind) {
    case NIN_BALLOONSHOW:
      if (OnBalloonHintShow) OnBalloonHintShow(handler);
      return;
    case NIN_BALLOONHIDE:
      if (OnBalloonHintHide) OnBalloonHintHide(handler);
      return;
    case NIN_BALLOONTIMEOUT:
      if (OnBalloonHintTimeout) OnBalloonHintTimeout(handler);
      return;
    case NIN_BALLOONUSERCLICK:
      if (OnBalloonHintClick) OnBalloonHintClick(handler);
      return;
    default:
      break;
  }
  if (!enabled_) return;
  switch (kind) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      break;
    default:
      return;  // WM_CONTEXTMENU, NIN_SELECT, NIN_KEYSELECT and the rest mean nothing here
  }
  // Where the pointer is and which keys are down while the notification is handled.
  POINT at{0, 0};
  host::GetCursorPos(&at);
  const int x = at.x;
  const int y = at.y;
  const host::TShiftState keys = ReadModifierKeys();
  switch (kind) {
    case WM_MOUSEMOVE:
      if (wantEnterExitEvents_ && pointerOutside_) {
        FireMouseEnter();
        pointerOutside_ = false;
      }
      FireMouseMove(keys, x, y);
      lastPointerX_ = x;
      lastPointerY_ = y;
      break;
    case WM_LBUTTONDOWN:
      if (OnDblClick) {
        clickTicker_->SetPeriod(host::GetDoubleClickTime());
        clickTicker_->SetRunning(true);
      }
      FireMouseDown(host::mbLeft, keys | host::ssLeft, x, y);
      buttonDownSeen_ = true;
      if (leftPopup_ && popupMenu_ != nullptr && popupMenu_->AutoPopup()) {
        host::SetForegroundWindow(notifyData_.hWnd);
        PopupAtCursor();
      }
      break;
    case WM_LBUTTONUP:
      if (buttonDownSeen_) clickArmed_ = true;
      if (buttonDownSeen_ && !clickTicker_->Running()) {
        buttonDownSeen_ = false;
        clickArmed_ = false;
        FireClick();
      }
      buttonDownSeen_ = false;
      FireMouseUp(host::mbLeft, keys | host::ssLeft, x, y);
      break;
    case WM_LBUTTONDBLCLK:
      clickArmed_ = false;
      doubleClickSeen_ = true;
      FireDblClick();
      if (popupMenu_ != nullptr && popupMenu_->AutoPopup() && !leftPopup_) {
        const host::TMenuItem& items = *popupMenu_->Items();
        for (int i = 0; i < items.Count(); ++i) {
          if (items.Items(i)->Default()) {
            items.Items(i)->Click();
            break;
          }
        }
      }
      break;
    case WM_RBUTTONDOWN:
      FireMouseDown(host::mbRight, keys | host::ssRight, x, y);
      if (popupMenu_ != nullptr && popupMenu_->AutoPopup()) {
        host::SetForegroundWindow(notifyData_.hWnd);
        PopupAtCursor();
      }
      break;
    case WM_RBUTTONUP:
      FireMouseUp(host::mbRight, keys | host::ssRight, x, y);
      break;
    case WM_MBUTTONDOWN:
      FireMouseDown(host::mbMiddle, keys | host::ssMiddle, x, y);
      break;
    case WM_MBUTTONUP:
      FireMouseUp(host::mbMiddle, keys | host::ssMiddle, x, y);
      break;
    default:
      break;
  }
}

void TTrayIcon::ClickDecision(host::TObject*) {
  clickTicker_->SetRunning(false);
  if (!doubleClickSeen_ && clickArmed_) {
    clickArmed_ = false;
    FireClick();
  }
  doubleClickSeen_ = false;
}

void TTrayIcon::LeaveCheck(host::TObject*) {
  if (pointerOutside_) return;
  POINT at{0, 0};
  if (!host::GetCursorPos(&at)) return;
  if (at.x != lastPointerX_ || at.y != lastPointerY_) {
    pointerOutside_ = true;
    FireMouseExit();
  }
}

void TTrayIcon::PopupAt(int x, int y) {
  if (popupMenu_ == nullptr) return;
  host::SetForegroundWindow(notifyData_.hWnd);
  if (host::Application != nullptr) host::Application->ProcessMessages();
  // A message just dispatched may have taken the menu away.
  if (popupMenu_ == nullptr) return;
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(x, y);
  // Without a message after the menu, a tray menu shown again may not close when the person
  // clicks elsewhere.
  if (host::TForm* form = OwnerForm(); form != nullptr && form->Handle() != nullptr) {
    host::PostMessageTo(form->Handle(), WM_NULL, 0, 0);
  }
}

void TTrayIcon::PopupAtCursor() {
  POINT at{0, 0};
  if (host::GetCursorPos(&at)) PopupAt(at.x, at.y);
}

// The main form and the taskbar button.

void TTrayIcon::HideTaskbarIcon() {
  HWND app = ApplicationWindow();
  if (app != nullptr && host::IsWindowVisible(app)) host::ShowWindow(app, SW_HIDE);
}

void TTrayIcon::ShowTaskbarIcon() {
  HWND app = ApplicationWindow();
  if (app != nullptr && !host::IsWindowVisible(app)) host::ShowWindow(app, SW_SHOW);
}

void TTrayIcon::RestoreMainForm() {
  host::TForm* main = MainForm();
  if (OwnerForm() == nullptr || main == nullptr) return;
  host::Application->Restore();
  if (main->WindowState() == host::TWindowState::wsMinimized) {
    main->SetWindowState(host::TWindowState::wsNormal);
  }
  main->SetVisible(true);
  host::SetForegroundWindow(ApplicationWindow());
}

void TTrayIcon::HideMainForm() {
  host::TForm* main = MainForm();
  if (OwnerForm() == nullptr || main == nullptr) return;
  main->SetVisible(false);
  HideTaskbarIcon();
}

void TTrayIcon::HideToTray() {
  HideMainForm();
  SetIconVisible(true);
}

bool TTrayIcon::AppWindowHook(UINT msg, WPARAM wParam, LPARAM, LRESULT&) {
  switch (msg) {
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED && minimizeToTray_) HideToTray();
      break;
    case WM_WINDOWPOSCHANGED:
      if (host::TForm* main = MainForm(); startupCheckPending_ && main != nullptr) {
        // Spent before it acts: hiding the taskbar button moves the window again, and that
        // message arrives inside this one.
        startupCheckPending_ = false;
        if (main->FormStyle() == host::TFormStyle::fsMDIForm) {
          bool showMainForm = true;
          if (OnStartup) OnStartup(this, showMainForm);
          if (!showMainForm) HideTaskbarIcon();
        }
      }
      break;
    case WM_SYSCOMMAND:
      if (host::TForm* main = MainForm(); wParam == SC_RESTORE && main != nullptr) {
        if (main->WindowState() == host::TWindowState::wsMinimized) {
          main->SetWindowState(host::TWindowState::wsNormal);
        }
        main->SetVisible(true);
      }
      break;
    default:
      break;
  }
  // The shell's taskbar was made anew and knows no icon: this one goes back if it was there.
  if (TaskbarCreatedMsg != 0 && msg == TaskbarCreatedMsg && iconVisible_) AddIcon();
  return false;
}

// The owner form's window.

void TTrayIcon::HookOwnerWindow() {
  host::TForm* form = OwnerForm();
  if (form == nullptr) return;
  HWND wnd = form->HandleNeeded();
  if (wnd == nullptr) return;
  WNDPROC thunk = host::MakeObjectInstance(host::WndMethod::Of<&TTrayIcon::OwnerWindowProc>(this));
  if (thunk == nullptr) {
    host::TraceLine("tray", "owner window not subclassed: no callback left");
    return;
  }
  savedOwnerWndProc_ = reinterpret_cast<WNDPROC>(host::GetWindowLongPtrA(wnd, GWLP_WNDPROC));
  ownerWndProcThunk_ = thunk;
  ownerWindow_ = wnd;
  host::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk));
}

void TTrayIcon::UnhookOwnerWindow() {
  if (savedOwnerWndProc_ != nullptr) {
    // Put back only over our own procedure: a window gone (or subclassed again since) is left
    // alone.
    if (reinterpret_cast<WNDPROC>(host::GetWindowLongPtrA(ownerWindow_, GWLP_WNDPROC)) ==
        ownerWndProcThunk_) {
      host::SetWindowLongPtrA(ownerWindow_, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(savedOwnerWndProc_));
    }
  }
  host::FreeObjectInstance(ownerWndProcThunk_);
  ownerWindow_ = nullptr;
  savedOwnerWndProc_ = nullptr;
  ownerWndProcThunk_ = nullptr;
}

bool TTrayIcon::TrayMinimizeStep() {
  if (!minimizeToTray_ || !OnMinimizeToTray) return false;
  OnMinimizeToTray(this);
  HideToTray();
  return true;
}

LRESULT TTrayIcon::OwnerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SHOWWINDOW:
      if (wParam == 1 && lParam == 0) {
        host::SetForegroundWindow(ApplicationWindow());
        host::SetForegroundWindow(wnd);
      } else if (wParam == 0 && lParam == SW_PARENTCLOSING &&
                 (host::Application == nullptr || !host::Application->Terminated())) {
        if (TrayMinimizeStep()) return 1;
      }
      break;
    case WM_SYSCOMMAND:
      if (wParam == SC_MINIMIZE && TrayMinimizeStep()) return 1;
      break;
    default:
      break;
  }
  return host::CallWindowProcA(savedOwnerWndProc_, wnd, msg, wParam, lParam);
}

// Events.

void TTrayIcon::FireClick() {
  if (OnClick) OnClick(this);
}
void TTrayIcon::FireDblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TTrayIcon::FireCycle(int NextIndex) {
  if (OnCycle) OnCycle(this, NextIndex);
}
void TTrayIcon::FireMouseDown(host::TMouseButton Button, host::TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TTrayIcon::FireMouseUp(host::TMouseButton Button, host::TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TTrayIcon::FireMouseMove(host::TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TTrayIcon::FireMouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TTrayIcon::FireMouseExit() {
  if (OnMouseExit) OnMouseExit(this);
}

}  // namespace TrayIcon
