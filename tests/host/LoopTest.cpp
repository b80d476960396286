// Message-loop behaviour every backend must share: these run on the portable loop and, under
// Wine, on the real Win32 backend.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Timer.h"

namespace {

using host::TNotifyEvent;
using host::TTimer;
using host::WndMethod;

constexpr UINT kTestMessage = WM_APP + 7;

// Records what reaches a hidden window.
struct Recorder {
  std::vector<std::string> log;
  host::HiddenWindow wnd{WndMethod::Of<&Recorder::Proc>(this)};
  LRESULT Proc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kTestMessage) {
      log.push_back("msg" + std::to_string(wParam));
      return static_cast<LRESULT>(wParam) * 2;
    }
    if (msg == WM_DEVICECHANGE) {
      log.push_back("devchange");
      return 0;
    }
    return host::DefaultWindowProc(w, msg, wParam, lParam);
  }
};

class LoopTest : public ::testing::Test {
 protected:
  host::TApplication app;
};

TEST_F(LoopTest, PostedMessagesArriveInOrderAndSendIsImmediate) {
  Recorder r;
  ASSERT_NE(r.wnd.Handle(), nullptr);
  host::PostMessageTo(r.wnd.Handle(), kTestMessage, 1, 0);
  host::PostMessageTo(r.wnd.Handle(), kTestMessage, 2, 0);
  EXPECT_EQ(host::SendMessageTo(r.wnd.Handle(), kTestMessage, 21, 0), 42);
  EXPECT_EQ(r.log, (std::vector<std::string>{"msg21"}));
  app.ProcessMessages();
  EXPECT_EQ(r.log, (std::vector<std::string>{"msg21", "msg1", "msg2"}));
}

TEST_F(LoopTest, MessagesToAWindowThatWentAwayAreDropped) {
  auto* r = new Recorder();
  HWND gone = r->wnd.Handle();
  host::PostMessageTo(gone, kTestMessage, 1, 0);
  delete r;
  app.ProcessMessages();  // must not reach freed memory
  EXPECT_FALSE(host::PostMessageTo(gone, kTestMessage, 2, 0));
}

TEST_F(LoopTest, BroadcastReachesEveryWindowOfTheProcess) {
  Recorder a, b;
  host::BroadcastToProcessWindows(WM_DEVICECHANGE, 7, 0);
  app.ProcessMessages();
  EXPECT_EQ(a.log, (std::vector<std::string>{"devchange"}));
  EXPECT_EQ(b.log, (std::vector<std::string>{"devchange"}));
}

// A component whose handlers the tests bind to timers.
struct Ticks : host::TComponent {
  explicit Ticks(host::TComponent* owner) : host::TComponent(owner) {}
  std::vector<std::string> log;
  TTimer* a = nullptr;
  TTimer* b = nullptr;
  int bTicks = 0;
  bool rearmAOnFirstB = false;
  void OnA(TObject*) { log.push_back("A"); }
  void OnB(TObject*) {
    log.push_back("B");
    if (++bTicks == 1 && rearmAOnFirstB) {
      a->SetEnabled(false);
      a->SetEnabled(true);
    }
  }
};

TEST_F(LoopTest, ReEnablingATimerStartsAFreshInterval) {
  Ticks t(nullptr);
  t.a = new TTimer(&t);
  t.b = new TTimer(&t);
  t.a->SetInterval(80);
  t.b->SetInterval(50);
  t.rearmAOnFirstB = true;
  t.a->SetOnTimer(TNotifyEvent::Of<&Ticks::OnA>(&t));
  t.b->SetOnTimer(TNotifyEvent::Of<&Ticks::OnB>(&t));
  // Without the re-arm A would tick at 80 ms, between B's first and second ticks; re-armed at
  // 50 ms it ticks at 130, after B's second.
  while (t.log.empty() || t.log.back() != "A") app.HandleMessage();
  t.a->SetEnabled(false);
  t.b->SetEnabled(false);
  ASSERT_GE(t.log.size(), 3u);
  EXPECT_EQ(t.log[0], "B");
  EXPECT_EQ(t.log[1], "B");
}

TEST_F(LoopTest, TimerWithoutHandlerOrDisabledNeverTicks) {
  EXPECT_EQ(TTimer(nullptr).Interval(), 1000u);
  Ticks t(nullptr);
  auto* bare = new TTimer(&t);  // enabled, with nobody to tell
  bare->SetInterval(10);
  EXPECT_TRUE(bare->Enabled());
  t.a = new TTimer(&t);  // a handler, but switched off
  t.a->SetInterval(10);
  t.a->SetOnTimer(TNotifyEvent::Of<&Ticks::OnA>(&t));
  t.a->SetEnabled(false);
  t.b = new TTimer(&t);
  t.b->SetInterval(60);
  t.b->SetOnTimer(TNotifyEvent::Of<&Ticks::OnB>(&t));
  // Neither of the first two may run a system timer at all, not even one whose ticks are then
  // dropped: B's tick is the first thing the loop has to dispatch.
  int dispatched = 0;
  while (t.log.empty()) {
    bool quit = false;
    if (host::DispatchOne(&quit)) {
      ++dispatched;
    } else {
      host::WaitForMessage();
    }
  }
  t.b->SetEnabled(false);
  EXPECT_EQ(t.log, (std::vector<std::string>{"B"}));
  EXPECT_EQ(dispatched, 1);
}

TEST_F(LoopTest, PostedMessagesGoBeforeDueTimers) {
  Recorder r;
  Ticks t(nullptr);
  t.a = new TTimer(&t);
  t.a->SetInterval(20);
  t.a->SetOnTimer(TNotifyEvent::Of<&Ticks::OnA>(&t));
  // Let the timer become due, then post: the message must still be dispatched first.
  app.ProcessMessages();
  host::WaitForMessage();  // returns once the tick is due, without taking it
  host::PostMessageTo(r.wnd.Handle(), kTestMessage, 5, 0);
  bool quit = false;
  ASSERT_TRUE(host::DispatchOne(&quit));
  EXPECT_EQ(r.log, (std::vector<std::string>{"msg5"}));
  EXPECT_TRUE(t.log.empty());
  ASSERT_TRUE(host::DispatchOne(&quit));
  EXPECT_EQ(t.log, (std::vector<std::string>{"A"}));
  t.a->SetEnabled(false);
}

// A handler that pumps the loop inside itself, as the drawer protocol's waits do.
struct Nested : host::TComponent {
  explicit Nested(host::TComponent* owner) : host::TComponent(owner) {
    delay = new TTimer(this);
    delay->SetEnabled(false);
    delay->SetOnTimer(TNotifyEvent::Of<&Nested::OnDelay>(this));
  }
  TTimer* delay;
  std::vector<std::string> log;
  host::HiddenWindow wnd{WndMethod::Of<&Nested::Proc>(this)};
  void OnDelay(TObject*) {
    log.push_back("delay-fired");
    delay->SetEnabled(false);
  }
  LRESULT Proc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg != kTestMessage) return 0;
    log.push_back("enter" + std::to_string(wParam));
    if (wParam == 1) {
      host::PostMessageTo(wnd.Handle(), kTestMessage, 2, 0);
      delay->SetInterval(30);
      delay->SetEnabled(true);
      while (delay->Enabled()) host::Application->HandleMessage();
    }
    log.push_back("leave" + std::to_string(wParam));
    return 0;
  }
};

TEST_F(LoopTest, AHandlerMayPumpMessagesInsideAnotherHandler) {
  Nested n(nullptr);
  host::PostMessageTo(n.wnd.Handle(), kTestMessage, 1, 0);
  app.ProcessMessages();
  EXPECT_EQ(n.log,
            (std::vector<std::string>{"enter1", "enter2", "leave2", "delay-fired", "leave1"}));
}

// A handler that raises: the failure stays inside its own dispatch.
struct Raiser {
  int after = 0;
  host::HiddenWindow wnd{WndMethod::Of<&Raiser::Proc>(this)};
  LRESULT Proc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg != kTestMessage) return 0;
    if (wParam == 1) throw std::runtime_error("handler failed");
    ++after;
    return 0;
  }
};

TEST_F(LoopTest, AnExceptionFromAHandlerEndsThereAndTheLoopGoesOn) {
  Raiser r;
  host::PostMessageTo(r.wnd.Handle(), kTestMessage, 1, 0);
  host::PostMessageTo(r.wnd.Handle(), kTestMessage, 2, 0);
  EXPECT_NO_THROW(app.ProcessMessages());
  EXPECT_EQ(r.after, 1);
  EXPECT_EQ(host::SendMessageTo(r.wnd.Handle(), kTestMessage, 1, 0), 0);
}

}  // namespace
