#include "host/Timer.h"

#include "host/Messages.h"

namespace host {
namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), window_(WndMethod::Of<&TTimer::WndProc>(this)) {}

TTimer::~TTimer() {
  enabled_ = false;
  if (window_.Handle() != nullptr) StopWindowTimer(window_.Handle(), kTimerId);
}

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(UINT value) {
  if (value == interval_) return;
  interval_ = value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = handler;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (window_.Handle() == nullptr) return;
  StopWindowTimer(window_.Handle(), kTimerId);
  if (interval_ != 0 && enabled_ && onTimer_.IsSet()) {
    StartWindowTimer(window_.Handle(), kTimerId, interval_);
  }
}

LRESULT TTimer::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    // A tick already generated can arrive after the timer was switched off; drop it.
    if (enabled_ && onTimer_.IsSet()) onTimer_(this);
    return 0;
  }
  return DefaultWindowProc(wnd, msg, wParam, lParam);
}

}  // namespace host
