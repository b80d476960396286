// The portable loop on its virtual clock: time moves only when the loop would block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Timer.h"
#include "host/portable/Clock.h"

namespace {

using host::TNotifyEvent;
using host::TTimer;

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override { host::portable::UseVirtualClock(); }
  void TearDown() override { host::portable::UseRealClock(); }
  host::TApplication app;
};

struct Stamps : host::TComponent {
  using host::TComponent::TComponent;
  std::vector<std::pair<std::string, std::int64_t>> log;
  std::int64_t origin = host::TickCountMs();
  void A(TObject*) { log.push_back({"A", host::TickCountMs() - origin}); }
  void B(TObject*) { log.push_back({"B", host::TickCountMs() - origin}); }
  void C(TObject*) { log.push_back({"C", host::TickCountMs() - origin}); }
};

TEST_F(VirtualClock, TimersFireInDeadlineThenSequenceOrderAtExactTimes) {
  Stamps s(nullptr);
  auto make = [&](UINT interval, TNotifyEvent handler) {
    auto* t = new TTimer(&s);
    t->SetInterval(interval);
    t->SetOnTimer(handler);
    return t;
  };
  make(100, TNotifyEvent::Of<&Stamps::A>(&s));
  make(50, TNotifyEvent::Of<&Stamps::B>(&s));
  make(100, TNotifyEvent::Of<&Stamps::C>(&s));  // same deadline as A, armed later
  while (s.log.size() < 7) app.HandleMessage();
  using E = std::pair<std::string, std::int64_t>;
  EXPECT_EQ(
      s.log,
      (std::vector<E>{
          {"B", 50}, {"A", 100}, {"C", 100}, {"B", 100}, {"B", 150}, {"A", 200}, {"C", 200}}));
}

TEST_F(VirtualClock, ProcessMessagesFiresOnlyWhatIsDueAndNeverWaits) {
  // A handler whose work outlasts its timer's interval leaves the timer due again at once.
  struct Slow : Stamps {
    using Stamps::Stamps;
    TTimer* timer = nullptr;
    void Work(TObject*) {
      A(nullptr);
      host::SleepWithoutPumping(40);
      if (log.size() == 5) timer->SetEnabled(false);  // a pass that never ends still ends here
    }
  } s(nullptr);
  TTimer t(nullptr);
  s.timer = &t;
  t.SetInterval(30);
  t.SetOnTimer(TNotifyEvent::Of<&Slow::Work>(&s));
  app.ProcessMessages();
  EXPECT_TRUE(s.log.empty());
  EXPECT_EQ(host::TickCountMs() - s.origin, 0);
  host::portable::AdvanceClock(95);
  app.ProcessMessages();  // overdue, and due again after its tick: still one tick per pass
  ASSERT_EQ(s.log.size(), 1u);
  EXPECT_EQ(s.log[0].second, 95);
  app.ProcessMessages();
  EXPECT_EQ(s.log.size(), 2u);
}

TEST_F(VirtualClock, FortyHundredMillisecondTicksTakeFourVirtualSeconds) {
  struct Counter : host::TComponent {
    using host::TComponent::TComponent;
    int ticks = 0;
    void Tick(TObject*) {
      if (++ticks == 40) host::Application->Terminate();
    }
  } counter(nullptr);
  TTimer t(nullptr);
  t.SetInterval(100);
  t.SetOnTimer(TNotifyEvent::Of<&Counter::Tick>(&counter));
  std::int64_t start = host::TickCountMs();
  app.Run();
  EXPECT_EQ(counter.ticks, 40);
  EXPECT_EQ(host::TickCountMs() - start, 4000);
}

}  // namespace
