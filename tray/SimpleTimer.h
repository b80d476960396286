// Periodic timers that need no form and no owner: a period, a running flag and one handler. All
// timers of a process share one hidden window, counted by its users, which receives the system's
// WM_TIMER messages and calls the handler of the timer concerned. GUI thread only; a handler runs
// while the message loop dispatches.
#pragma once

#include <memory>
#include <unordered_set>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Messages.h"
#include "host/WinDefs.h"

namespace SimpleTimer {

class TSimpleTimer : public host::TObject {
 public:
  // A period of 1000 ms and no handler.
  TSimpleTimer();
  TSimpleTimer(UINT period, host::TNotifyEvent handler);
  ~TSimpleTimer() override;

  // The identifier the system timer is made with: the object's own address.
  UINT_PTR TimerId() const { return reinterpret_cast<UINT_PTR>(this); }
  // Whether the timer is meant to run (it may be paused: see SetPeriod and SetOnElapsed).
  bool Running() const { return running_; }
  UINT Period() const { return period_; }
  host::TNotifyEvent OnElapsed() const { return onElapsed_; }

  // True starts (a fresh period), false stops and clears Running.
  void SetRunning(bool value);
  // A new period restarts a running timer; 0 pauses it and leaves Running set.
  void SetPeriod(UINT period);
  // An empty handler pauses a running timer and leaves Running set.
  void SetOnElapsed(host::TNotifyEvent handler);

  // A zero period never starts. Returns whether the system timer was made.
  bool StartTimer();
  // `clear` also clears Running. Returns whether a system timer was stopped.
  bool StopTimer(bool clear);

 private:
  bool running_ = false;
  UINT period_ = 1000;
  host::TNotifyEvent onElapsed_;
};

// The shared window of every timer of the process.
class TSimpleTimerHandler : public host::TObject {
 public:
  TSimpleTimerHandler();

  // How many timers live.
  DWORD TimerUsers() const { return static_cast<DWORD>(timers_.size()); }
  HWND TimerWindow() const { return window_.Handle(); }

 private:
  friend void AcquireTimerWindow(TSimpleTimer* timer);
  friend void ReleaseTimerWindow(TSimpleTimer* timer);
  LRESULT TimerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // The live timers: a WM_TIMER is taken only for one of them, so a tick of a timer destroyed
  // meanwhile finds nothing to call.
  std::unordered_set<TSimpleTimer*> timers_;
  host::HiddenWindow window_;  // last: its method reads the timers
};

// The one handler, null while no timer lives; freed with the last timer, or at the end of the
// program.
extern std::unique_ptr<TSimpleTimerHandler> TimerHandler;

void AcquireTimerWindow(TSimpleTimer* timer);
void ReleaseTimerWindow(TSimpleTimer* timer);

}  // namespace SimpleTimer
