// Hidden windows, posted and sent messages, window timers and the wait for the next message.
// Each backend (real Win32, or the portable loop) implements these; everything above them is the
// same code everywhere. All calls belong to the GUI thread except PostMessageTo, which any thread
// may use.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/Event.h"
#include "host/WinDefs.h"

namespace host {

// The code that receives a hidden window's messages.
using WndMethod = Event<LRESULT(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

// Calls a window's method the way the loop dispatches it: an exception that leaves a handler ends
// there and is dropped, as the host framework's own dispatch does, so it neither unwinds through
// the system's dispatcher nor takes the whole loop down with it.
LRESULT CallWindowMethod(const WndMethod& method, HWND wnd, UINT msg, WPARAM wParam,
                         LPARAM lParam) noexcept;

// A hidden top-level window whose messages go to `method` (it receives broadcasts). Returns null
// when the window cannot be made. The backends' side of HiddenWindow, which is how code holds one.
HWND AllocateHWnd(WndMethod method);
// The application window: top-level, of no size, captioned with the application's title. It is
// never seen itself, but while it is visible it carries the program's taskbar button, and the
// forms it owns get none of their own. DeallocateHWnd releases it too.
HWND AllocateApplicationWindow(WndMethod method);
void DeallocateHWnd(HWND wnd);
void SetWindowCaption(HWND wnd, const std::string& caption);
std::string WindowCaption(HWND wnd);

// Owns one hidden window: made with its method, released with its owner (or by Reset). Its method
// must not outlive what it points to, so a member of this type is declared after everything the
// method uses, and the window goes first.
class HiddenWindow {
 public:
  HiddenWindow() = default;
  // Handle() is null when the window cannot be made.
  explicit HiddenWindow(WndMethod method) : wnd_(AllocateHWnd(method)) {}
  static HiddenWindow ApplicationWindow(WndMethod method) {
    HiddenWindow window;
    window.wnd_ = AllocateApplicationWindow(method);
    return window;
  }
  HiddenWindow(HiddenWindow&& other) noexcept : wnd_(std::exchange(other.wnd_, nullptr)) {}
  HiddenWindow& operator=(HiddenWindow&& other) noexcept {
    if (this != &other) {
      Reset();
      wnd_ = std::exchange(other.wnd_, nullptr);
    }
    return *this;
  }
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;
  ~HiddenWindow() { Reset(); }

  HWND Handle() const { return wnd_; }
  // Releases the window now; messages still waiting for it are dropped.
  void Reset() {
    if (wnd_ != nullptr) DeallocateHWnd(std::exchange(wnd_, nullptr));
  }

 private:
  HWND wnd_ = nullptr;
};

// Lets `msg` reach `wnd` from programs running at a lower level than this one. An elevated
// program gets no message from WM_USER up from less privileged senders (the shell, a script)
// unless it says which it expects; only the few a window really waits for are named.
void AcceptFromLowerLevels(HWND wnd, UINT msg);

bool PostMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefaultWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts the message to every top-level window of this process (how device changes arrive).
void BroadcastToProcessWindows(UINT msg, WPARAM wParam, LPARAM lParam);

// Window timers, with SetTimer's rules: a new start of the same (wnd, id) begins a fresh period;
// WM_TIMER carries the id in wParam and is generated only when no posted message is waiting.
bool StartWindowTimer(HWND wnd, UINT_PTR id, UINT milliseconds);
bool StopWindowTimer(HWND wnd, UINT_PTR id);

// Dispatches every message that is waiting and every timer that is due, then returns. Returns
// false when a quit request was taken from the queue.
bool DispatchPending();
// Dispatches one waiting message or due timer if there is one; true when it did.
bool DispatchOne(bool* quit);
// Blocks, without using the processor, until a message is waiting or a timer is due.
void WaitForMessage();
// Makes the loop end: Run returns once it sees it.
void PostQuit();

// Blocks the thread without dispatching anything (on the virtual clock: time simply moves on).
void SleepWithoutPumping(UINT milliseconds);

// Milliseconds of the clock that drives the window timers (the virtual clock where one is used).
std::int64_t TickCountMs();

// The longest stretch, in milliseconds of TickCountMs, that the GUI thread spent outside the
// loop's retrieval of messages (handling what it retrieved, or blocked without pumping) since
// the last call; the call starts the next measurement. The system hands a low-level hook's
// calls to its thread only while that thread retrieves messages, and drops a hook that keeps it
// waiting too long, so this says whether the thread's hooks may be gone.
std::int64_t TakeLongestRetrievalGap();
// The backends' side of the measurement: each retrieval of messages (a peek, a wait, a menu's or
// message box's own loop) is bracketed by these.
void EnteringMessageRetrieval();
void LeavingMessageRetrieval();

// Held by the window procedures while a handler runs. The system runs some handlers inside a
// retrieval: a message another thread sent (the device-change broadcast is sent) is handled
// within the peek or wait that takes it, and a menu's or message box's loop dispatches from
// within. Such a handler keeps the thread from its hook calls as any other does, so its time
// counts as time outside retrieval. A handler the thread's own loop dispatched is outside already.
class MessageHandling {
 public:
  MessageHandling();
  ~MessageHandling();
  MessageHandling(const MessageHandling&) = delete;
  MessageHandling& operator=(const MessageHandling&) = delete;

 private:
  bool insideRetrieval_;
};

}  // namespace host
