// The application object, forms, components, threads, list box: the same on every backend.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "host/Application.h"
#include "host/StdCtrls.h"
#include "host/SysUtils.h"
#include "host/Thread.h"
#include "host/Timer.h"

namespace {

using host::TComponent;
using host::TNotifyEvent;
using host::TObject;

std::vector<std::string>* gLog = nullptr;

struct Module : host::TDataModule {
  explicit Module(TComponent* owner) : host::TDataModule(owner) {
    OnCreate = TNotifyEvent::Of<&Module::Created>(this);
  }
  ~Module() override { gLog->push_back("module-destroyed"); }
  void Created(TObject*) { gLog->push_back("module-created"); }
};

struct Form : host::TForm {
  explicit Form(TComponent* owner) : host::TForm(owner) {
    OnCreate = TNotifyEvent::Of<&Form::Created>(this);
    OnActivate = TNotifyEvent::Of<&Form::Activated>(this);
    OnCloseQuery = host::TCloseQueryEvent::Of<&Form::CloseQuery>(this);
    closer = new host::TTimer(this);
    closer->SetInterval(20);
    closer->SetOnTimer(TNotifyEvent::Of<&Form::CloseTick>(this));
  }
  ~Form() override { gLog->push_back("form-destroyed"); }
  void Created(TObject*) { gLog->push_back("form-created"); }
  void Activated(TObject*) { gLog->push_back("form-activated"); }
  void CloseQuery(TObject*, bool& canClose) {
    gLog->push_back("close-query");
    canClose = ++queries > 1;  // the first request is refused
  }
  void CloseTick(TObject*) { Close(); }
  host::TTimer* closer;
  int queries = 0;
};

TEST(Application, RunsUntilTheMainFormClosesAndFreesWhatItOwns) {
  std::vector<std::string> log;
  gLog = &log;
  {
    host::TApplication app;
    EXPECT_EQ(host::Application, &app);
    app.Initialize();
    app.SetTitle("\xD7\xA4\xD7\xAA\xD7\x99\xD7\x97\xD7\xAA");
    Module* module = nullptr;
    Form* form = nullptr;
    app.CreateForm(module);
    app.CreateForm(form);
    EXPECT_EQ(app.MainForm(), form);
    app.Run();
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(form->Visible());
  }
  EXPECT_EQ(host::Application, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"module-created", "form-created", "form-activated",
                                           "close-query", "close-query", "form-destroyed",
                                           "module-destroyed"}));
  gLog = nullptr;
}

TEST(Application, TerminateFromATimerEndsRunAndMinimizeNotifiesOnce) {
  host::TApplication app;
  struct Counter : TComponent {
    using TComponent::TComponent;
    int minimized = 0, restored = 0;
    void Min(TObject*) { ++minimized; }
    void Res(TObject*) { ++restored; }
    void Stop(TObject*) { host::Application->Terminate(); }
  } counter(nullptr);
  app.OnMinimize = TNotifyEvent::Of<&Counter::Min>(&counter);
  app.OnRestore = TNotifyEvent::Of<&Counter::Res>(&counter);
  app.Minimize();
  app.Minimize();
  app.Restore();
  EXPECT_EQ(counter.minimized, 1);
  EXPECT_EQ(counter.restored, 1);
  host::TTimer stop(nullptr);
  stop.SetInterval(10);
  stop.SetOnTimer(TNotifyEvent::Of<&Counter::Stop>(&counter));
  app.Run();  // no main form: ends only through the timer
  EXPECT_TRUE(app.Terminated());
  // The settings and the instance guard go by it: the running program's own file.
  const std::filesystem::path exe = host::FsPath(app.ExeName());
  EXPECT_TRUE(exe.is_absolute()) << app.ExeName();
  EXPECT_TRUE(std::filesystem::is_regular_file(exe)) << app.ExeName();
  EXPECT_EQ(exe.stem().string().rfind("host_tests_", 0), 0u) << app.ExeName();
}

struct Child : TComponent {
  Child(TComponent* owner, std::vector<std::string>* log, std::string name)
      : TComponent(owner), log_(log), name_(std::move(name)) {}
  ~Child() override { log_->push_back("free " + name_); }
  void Loaded() override { log_->push_back("loaded " + name_ + (Loading() ? " (loading)" : "")); }
  void Notification(TComponent* c, host::TOperation op) override {
    TComponent::Notification(c, op);
    if (op == host::TOperation::opRemove && c == watched) {
      log_->push_back(name_ + " told");
      watched = nullptr;
    }
  }
  TComponent* watched = nullptr;
  std::vector<std::string>* log_;
  std::string name_;
};

TEST(Component, OwnerFreesLastFirstAndRemovalIsNotified) {
  std::vector<std::string> log;
  auto* owner = new Child(nullptr, &log, "owner");
  owner->BeginLoading();
  auto* a = new Child(owner, &log, "a");
  auto* b = new Child(owner, &log, "b");  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks): owned
  EXPECT_TRUE(a->Loading());
  owner->EndLoading();
  EXPECT_FALSE(b->Loading());
  EXPECT_EQ(log, (std::vector<std::string>{"loaded a", "loaded b", "loaded owner"}));
  log.clear();

  auto* outsider = new Child(nullptr, &log, "outsider");
  outsider->watched = a;
  outsider->FreeNotification(a);
  delete a;
  EXPECT_EQ(log, (std::vector<std::string>{"free a", "outsider told"}));  // own body first
  EXPECT_EQ(owner->ComponentCount(), 1);
  log.clear();
  delete owner;
  EXPECT_EQ(log, (std::vector<std::string>{"free owner", "free b"}));
  delete outsider;
}

TEST(ListBox, IndexOutsideTheLinesIsNotTaken) {
  host::TListBox list(nullptr);
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(0);
  EXPECT_EQ(list.ItemIndex(), -1);
  TObject* tag = reinterpret_cast<TObject*>(&list);
  EXPECT_EQ(list.Add("first", nullptr), 0);
  EXPECT_EQ(list.Add("second", tag), 1);
  EXPECT_EQ(list.Objects(1), tag);
  list.SetItemIndex(1);
  EXPECT_EQ(list.ItemIndex(), 1);
  list.SetItemIndex(2);
  EXPECT_EQ(list.ItemIndex(), 1);
  list.SetItemIndex(-2);
  EXPECT_EQ(list.ItemIndex(), 1);
  list.SetItemIndex(-1);
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
}

// A worker that hands values to the GUI thread one by one.
class Producer : public host::TThread {
 public:
  Producer() : host::TThread(true) {}
  std::vector<int> received;  // GUI thread only
  std::atomic<int> sent{0};
  bool throwInDelivery = false;
  bool caught = false;

 protected:
  void Execute() override {
    for (int i = 0; i < 50 && !Terminated(); ++i) {
      current_ = i;
      try {
        Synchronize(host::Event<void()>::Of<&Producer::Deliver>(this));
      } catch (const std::exception&) {
        caught = true;
      }
      sent.fetch_add(1);
    }
  }

 private:
  void Deliver() {
    EXPECT_TRUE(host::IsMainThread());
    received.push_back(current_);
    if (throwInDelivery) throw std::runtime_error("from the GUI thread");
  }
  int current_ = 0;
};

TEST(Thread, WaitForOnTheGuiThreadServesSynchronizeWithoutDeadlock) {
  host::TApplication app;
  Producer p;
  p.Resume();
  p.WaitFor();
  EXPECT_TRUE(p.Finished());
  ASSERT_EQ(p.received.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(p.received[static_cast<size_t>(i)], i);
}

TEST(Thread, SynchronizeRunsThroughTheMessageLoopAndRethrowsInTheThread) {
  host::TApplication app;
  Producer p;
  p.throwInDelivery = true;
  p.Resume();
  while (p.received.size() < 50) app.HandleMessage();
  p.WaitFor();
  EXPECT_EQ(p.received.size(), 50u);
  EXPECT_TRUE(p.caught);
}

TEST(Thread, TerminateStopsTheBodyAndASuspendedThreadNeedsNoWait) {
  host::TApplication app;
  { Producer never; }  // destroyed without ever running
  Producer p;
  p.Terminate();
  p.Resume();
  p.WaitFor();
  EXPECT_TRUE(p.received.empty());
}

}  // namespace
