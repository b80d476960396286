// Controls on forms and modal forms, on the portable backend: tab order, what a control takes from
// its form, the radio group's index, keys reaching the focused control, and the modal loop.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/Application.h"
#include "host/Messages.h"
#include "host/StdCtrls.h"
#include "host/Timer.h"
#include "host/portable/Clock.h"
#include "host/portable/KeyInput.h"

namespace {

using host::TBiDiMode;
using host::TFont;

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    // A run that an earlier test ended left its quit request in this thread's queue, where
    // ProcessMessages would stop; the whole binary then fails where each test alone passes.
    host::DispatchPending();
    app_ = std::make_unique<host::TApplication>();
    app_->CreateForm(form_);
  }
  void TearDown() override {
    app_.reset();
    host::portable::TakeKeyOutcomes();
    host::portable::UseRealClock();
  }
  template <class T>
  T* Add() {
    auto* control = new T(form_);
    control->SetParent(form_);
    return control;
  }
  std::unique_ptr<host::TApplication> app_;
  host::TForm* form_ = nullptr;
};

TEST_F(Controls, TabOrderIsAPlaceAmongTheWindowedControlsThatMovesTheOthers) {
  auto* label = Add<host::TLabel>();
  auto* a = Add<host::TButton>();
  auto* b = Add<host::TEdit>();
  auto* c = Add<host::TCheckBox>();
  EXPECT_EQ(label->TabOrder(), -1);
  EXPECT_FALSE(label->TabStop());
  EXPECT_EQ((std::vector<int>{a->TabOrder(), b->TabOrder(), c->TabOrder()}),
            (std::vector<int>{0, 1, 2}));
  c->SetTabOrder(0);
  EXPECT_EQ((std::vector<host::TControl*>(form_->TabList())),
            (std::vector<host::TControl*>{c, a, b}));
  c->SetTabOrder(99);  // past the end: the last place
  EXPECT_EQ(c->TabOrder(), 2);
  a->SetTabOrder(-1);  // no place: stays
  EXPECT_EQ(a->TabOrder(), 0);
  delete b;
  EXPECT_EQ((std::vector<host::TControl*>(form_->TabList())), (std::vector<host::TControl*>{a, c}));
}

TEST_F(Controls, FontAndReadingOrderComeFromTheFormUntilTheControlHasItsOwn) {
  auto* label = Add<host::TLabel>();
  form_->SetFont({"Tahoma", 13, false});
  form_->SetBiDiMode(TBiDiMode::bdRightToLeft);
  EXPECT_EQ(label->Font(), (TFont{"Tahoma", 13, false}));
  EXPECT_TRUE(label->UseRightToLeftReading());

  label->SetFont({"Arial", 24, true});
  label->SetBiDiMode(TBiDiMode::bdLeftToRight);
  form_->SetFont({"Courier", 9, false});
  EXPECT_EQ(label->Font(), (TFont{"Arial", 24, true}));
  EXPECT_FALSE(label->UseRightToLeftReading());

  label->SetParentFont(true);
  label->SetParentBiDiMode(true);
  EXPECT_EQ(label->Font(), (TFont{"Courier", 9, false}));
  EXPECT_TRUE(label->UseRightToLeftReading());
}

TEST_F(Controls, ARadioGroupsIndexStaysWithinItsItems) {
  auto* group = Add<host::TRadioGroup>();
  group->SetItems({"a", "b", "c", "d"});
  const struct { int set, want; } cases[] = {{2, 2}, {-1, -1}, {-5, -1}, {4, 3}, {0, 0}};
  for (const auto& c : cases) {
    group->SetItemIndex(c.set);
    EXPECT_EQ(group->ItemIndex(), c.want) << c.set;
  }
  group->ItemClicked(7);  // no such item: nothing changes
  EXPECT_EQ(group->ItemIndex(), 0);
  group->SetItems({"x", "y"});
  group->SetItemIndex(1);
  group->SetItems({"only"});
  EXPECT_EQ(group->ItemIndex(), 0);
}

// Keys that the hooks let through reach the focused control, as the window gets them: after the
// hooks, with the pair's generic code for a modifier.
TEST_F(Controls, KeysReachTheFocusedEditAfterTheHooks) {
  auto* edit = Add<host::TEdit>();
  auto* button = Add<host::TButton>();
  struct Recorder {
    std::vector<int> events;  // +code for a key-down, -code for a key-up
    void Down(host::TObject*, WORD& key, host::TShiftState) { events.push_back(key); }
    void Up(host::TObject*, WORD& key, host::TShiftState) { events.push_back(-key); }
  } recorder;
  edit->OnKeyDown = host::TKeyEvent::Of<&Recorder::Down>(&recorder);
  edit->OnKeyUp = host::TKeyEvent::Of<&Recorder::Up>(&recorder);
  form_->Show();
  edit->SetFocus();
  EXPECT_TRUE(edit->Focused());
  host::portable::PressKey({163, 0, 0, 0});
  host::portable::PressKey({65, 0, 0, 0});
  EXPECT_TRUE(recorder.events.empty()) << "the window gets the key after the hooks, from the queue";
  host::portable::PressKey({65, 0, LLKHF_UP, 0});
  host::portable::PressKey({163, 0, LLKHF_UP, 0});
  app_->ProcessMessages();
  EXPECT_EQ(recorder.events, (std::vector<int>{17, 65, -65, -17}));

  button->SetFocus();
  EXPECT_FALSE(edit->Focused());
  host::portable::PressKey({66, 0, 0, 0});
  app_->ProcessMessages();
  EXPECT_EQ(recorder.events.size(), 4u);
}

// The modal loop: timers go on while it runs, and each way of ending it gives its result and
// leaves the form hidden.
class Modal : public Controls {
 public:
  void During(void (Modal::*step)()) {
    step_ = step;
    timer_ = std::make_unique<host::TTimer>(nullptr);
    timer_->SetInterval(50);
    timer_->SetOnTimer(host::TNotifyEvent::Of<&Modal::Tick>(this));
  }
  void Tick(host::TObject*) {
    ++ticks_;
    if (ticks_ == 3) (this->*step_)();
  }
  void SetResultOk() { form_->SetModalResult(host::mrOk); }
  void CloseIt() { form_->Close(); }
  void CloseAgain(host::TObject*) { form_->Close(); }
  void EndTheApplication() { app_->Terminate(); }
  void RefuseToClose(host::TObject*, bool& canClose) { canClose = closes_++ > 0; }

  std::unique_ptr<host::TTimer> timer_;
  void (Modal::*step_)() = nullptr;
  int ticks_ = 0;
  int closes_ = 0;
};

TEST_F(Modal, EndsWithTheResultSetWhileTimersRunAndLeavesTheFormHidden) {
  auto* first = Add<host::TButton>();
  Add<host::TButton>();
  During(&Modal::SetResultOk);
  EXPECT_EQ(form_->ShowModal(), host::mrOk);
  EXPECT_EQ(ticks_, 3);
  EXPECT_FALSE(form_->Visible());
  EXPECT_FALSE(form_->Modal());
  EXPECT_TRUE(first->Focused());  // the first in the tab order had the focus
}

TEST_F(Modal, CloseEndsItWithCancelOnceTheFormMayCloseAndNotTheProgram) {
  // Refused on the third tick; the next close is let through.
  form_->OnCloseQuery = host::TCloseQueryEvent::Of<&Modal::RefuseToClose>(this);
  During(&Modal::CloseIt);
  host::TTimer retry(nullptr);
  retry.SetInterval(500);
  retry.SetOnTimer(host::TNotifyEvent::Of<&Modal::CloseAgain>(this));
  EXPECT_EQ(form_->ShowModal(), host::mrCancel);
  EXPECT_EQ(closes_, 2);
  EXPECT_FALSE(app_->Terminated()) << "a modal form is not the program";
}

TEST_F(Modal, TheApplicationEndingEndsItAndAVisibleFormCannotBeMadeModal) {
  During(&Modal::EndTheApplication);
  EXPECT_EQ(form_->ShowModal(), host::mrCancel);
  EXPECT_FALSE(form_->Visible());
  form_->Show();
  EXPECT_EQ(form_->ShowModal(), host::mrNone);
}

}  // namespace
