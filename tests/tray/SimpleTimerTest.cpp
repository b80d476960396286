// Form-less timers on the virtual clock: periods, pausing, and the one window they share.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Messages.h"
#include "host/portable/Clock.h"
#include "tests/Pump.h"
#include "tray/SimpleTimer.h"

namespace {

using SimpleTimer::TimerHandler;
using SimpleTimer::TSimpleTimer;

class SimpleTimers : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    origin_ = host::TickCountMs();
  }
  void TearDown() override { host::portable::UseRealClock(); }

  struct Tick {
    const host::TObject* sender;
    std::int64_t at;
  };
  void Elapsed(host::TObject* sender) { ticks_.push_back({sender, host::TickCountMs() - origin_}); }
  host::TNotifyEvent Handler() { return host::TNotifyEvent::Of<&SimpleTimers::Elapsed>(this); }
  std::vector<std::int64_t> TimesOf(const TSimpleTimer& timer) const {
    std::vector<std::int64_t> times;
    for (const Tick& t : ticks_) {
      if (t.sender == &timer) times.push_back(t.at);
    }
    return times;
  }
  void RunFor(unsigned ms) { till_testing::RunFor(app_, ms); }

  host::TApplication app_;
  std::vector<Tick> ticks_;
  std::int64_t origin_ = 0;
};

using Times = std::vector<std::int64_t>;

TEST_F(SimpleTimers, TwoTimersTickIndependentlyOnOneWindowEachWithItselfAsSender) {
  TSimpleTimer a(30, Handler());
  TSimpleTimer b(50, Handler());
  EXPECT_FALSE(a.Running());
  a.SetRunning(true);
  b.SetRunning(true);
  EXPECT_TRUE(a.Running());
  EXPECT_EQ(TimerHandler->TimerUsers(), 2u);
  RunFor(150);
  EXPECT_EQ(TimesOf(a), (Times{30, 60, 90, 120, 150}));
  EXPECT_EQ(TimesOf(b), (Times{50, 100, 150}));
}

TEST_F(SimpleTimers, ZeroPeriodNeverStartsAndPausesWithoutClearingRunning) {
  TSimpleTimer timer(0, Handler());
  timer.SetRunning(true);
  EXPECT_FALSE(timer.Running()) << "a zero period never starts";
  EXPECT_FALSE(timer.StartTimer());

  timer.SetPeriod(100);  // not running: only stored
  RunFor(150);
  EXPECT_TRUE(ticks_.empty());

  timer.SetRunning(true);  // t=150
  RunFor(120);             // tick at 250
  timer.SetPeriod(0);      // paused at 270
  EXPECT_TRUE(timer.Running());
  RunFor(300);
  timer.SetPeriod(0);  // the same value: nothing, not even on a paused timer
  EXPECT_TRUE(timer.Running());
  timer.SetPeriod(50);  // resumes at 570 with the new period
  RunFor(110);
  EXPECT_EQ(TimesOf(timer), (Times{250, 620, 670}));
}

TEST_F(SimpleTimers, AnEmptyHandlerPausesAndOnlyStartingAgainResumes) {
  TSimpleTimer timer(100, Handler());
  timer.SetRunning(true);
  RunFor(130);  // tick at 100
  timer.SetOnElapsed(nullptr);
  EXPECT_TRUE(timer.Running());
  timer.SetOnElapsed(Handler());  // a handler alone does not restart the system timer
  RunFor(200);
  EXPECT_EQ(TimesOf(timer), (Times{100}));
  timer.SetRunning(true);  // at 330: a fresh period
  RunFor(100);
  EXPECT_EQ(TimesOf(timer), (Times{100, 430}));

  timer.SetRunning(false);
  EXPECT_FALSE(timer.Running());
  RunFor(300);
  EXPECT_EQ(TimesOf(timer).size(), 2u);
}

TEST_F(SimpleTimers, StartingARunningTimerBeginsAFreshPeriodButTheSamePeriodDoesNot) {
  TSimpleTimer timer(100, Handler());
  timer.SetRunning(true);
  RunFor(60);
  timer.SetPeriod(100);
  RunFor(50);
  EXPECT_EQ(TimesOf(timer), (Times{100}));
  EXPECT_TRUE(timer.StartTimer());  // at 110
  RunFor(150);
  EXPECT_EQ(TimesOf(timer), (Times{100, 210}));
}

TEST_F(SimpleTimers, TheSharedWindowGoesWithTheLastTimerAndComesAnewWithTheNext) {
  ASSERT_EQ(TimerHandler, nullptr);
  auto first = std::make_unique<TSimpleTimer>();
  EXPECT_EQ(first->Period(), 1000u);
  HWND window = TimerHandler->TimerWindow();
  ASSERT_NE(window, nullptr);
  auto second = std::make_unique<TSimpleTimer>(10, Handler());
  EXPECT_EQ(TimerHandler->TimerWindow(), window);
  first.reset();
  ASSERT_NE(TimerHandler, nullptr);
  EXPECT_EQ(TimerHandler->TimerUsers(), 1u);
  second->SetRunning(true);
  second.reset();  // stops its system timer, then the window goes
  EXPECT_EQ(TimerHandler, nullptr);
  RunFor(50);
  EXPECT_TRUE(ticks_.empty());

  TSimpleTimer third(10, Handler());
  ASSERT_NE(TimerHandler, nullptr);
  EXPECT_NE(TimerHandler->TimerWindow(), window);
}

TEST_F(SimpleTimers, ATickNamingATimerThatIsGoneCallsNothing) {
  TSimpleTimer keeper(1000, Handler());
  std::uintptr_t gone = 0;
  {
    TSimpleTimer timer(10, Handler());
    gone = timer.TimerId();
  }
  host::PostMessageTo(TimerHandler->TimerWindow(), WM_TIMER, gone, 0);
  app_.ProcessMessages();
  EXPECT_TRUE(ticks_.empty());
}

}  // namespace
