#include "tray/SimpleTimer.h"

namespace SimpleTimer {

std::unique_ptr<TSimpleTimerHandler> TimerHandler;

TSimpleTimerHandler::TSimpleTimerHandler()
    : window_(host::WndMethod::Of<&TSimpleTimerHandler::TimerWindowProc>(this)) {}

LRESULT TSimpleTimerHandler::TimerWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_TIMER) return host::DefaultWindowProc(wnd, msg, wParam, lParam);
  auto* timer = reinterpret_cast<TSimpleTimer*>(wParam);
  if (timers_.count(timer) != 0) {
    const host::TNotifyEvent handler = timer->OnElapsed();
    if (handler) handler(timer);
  }
  return 0;
}

void AcquireTimerWindow(TSimpleTimer* timer) {
  if (!TimerHandler) TimerHandler = std::make_unique<TSimpleTimerHandler>();
  TimerHandler->timers_.insert(timer);
}

void ReleaseTimerWindow(TSimpleTimer* timer) {
  if (!TimerHandler) return;
  TimerHandler->timers_.erase(timer);
  if (TimerHandler->timers_.empty()) TimerHandler.reset();
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr) {}

TSimpleTimer::TSimpleTimer(UINT period, host::TNotifyEvent handler) : period_(period) {
  SetOnElapsed(handler);
  AcquireTimerWindow(this);
}

TSimpleTimer::~TSimpleTimer() {
  if (running_) StopTimer(true);
  ReleaseTimerWindow(this);
}

void TSimpleTimer::SetRunning(bool value) {
  if (value) {
    StartTimer();
  } else {
    StopTimer(true);
  }
}

void TSimpleTimer::SetPeriod(UINT period) {
  if (period == period_) return;
  period_ = period;
  if (!running_) return;
  if (period != 0) {
    StartTimer();
  } else {
    StopTimer(false);
  }
}

void TSimpleTimer::SetOnElapsed(host::TNotifyEvent handler) {
  onElapsed_ = handler;
  if (!handler.IsSet() && running_) StopTimer(false);
}

bool TSimpleTimer::StartTimer() {
  if (period_ == 0) return false;
  if (running_) StopTimer(true);
  HWND wnd = TimerHandler ? TimerHandler->TimerWindow() : nullptr;
  const bool started = wnd != nullptr && host::StartWindowTimer(wnd, TimerId(), period_);
  if (started) running_ = true;
  return started;
}

bool TSimpleTimer::StopTimer(bool clear) {
  if (clear) running_ = false;
  HWND wnd = TimerHandler ? TimerHandler->TimerWindow() : nullptr;
  return wnd != nullptr && host::StopWindowTimer(wnd, TimerId());
}

}  // namespace SimpleTimer
