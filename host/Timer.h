// TTimer: a component that raises OnTimer every Interval milliseconds while Enabled. It fires
// only while the message loop dispatches (Run, ProcessMessages, HandleMessage).
#pragma once

#include "host/Component.h"
#include "host/Event.h"
#include "host/Messages.h"
#include "host/WinDefs.h"

namespace host {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

 private:
  // The system timer runs exactly while Enabled, Interval is not 0 and OnTimer is set; every
  // change re-arms it, so re-enabling starts a fresh interval.
  void UpdateTimer();
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  bool enabled_ = true;
  UINT interval_ = 1000;
  TNotifyEvent onTimer_;
  HiddenWindow window_;  // last: its method reads the fields above
};

}  // namespace host
