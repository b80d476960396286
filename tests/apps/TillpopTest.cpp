// tillpop as a whole on the virtual clock: forty attempts a hundred milliseconds apart, and the
// one line it leaves for its caller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "apps/tillpop/TillpopForms.h"
#include "drawer/public_u.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/portable/Clock.h"
#include "platform/virtual/VirtualHid.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#endif

namespace {

class Tillpop : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    host::SetCommandLine({"tillpop"});
    public_u::global_vars = public_u::T_global_vars{};
    Data_module::ConnectAttemptsLeft = 0;
    Remove();
  }
  void TearDown() override {
    Remove();
    virtualhid::Reset();
    host::portable::UseRealClock();
  }
  static void Remove() {
    std::error_code ec;
    std::filesystem::remove(host::FsPath(public_u::ResultFileName()), ec);
  }
  static std::string Result() {
    std::ifstream in(host::FsPath(public_u::ResultFileName()), std::ios::binary);
    if (!in) return "<none>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Runs the whole program; returns the virtual time it took.
  static std::int64_t Run() {
    std::int64_t start = host::TickCountMs();
    tillpop::RunTillpop();
    return host::TickCountMs() - start;
  }
};

TEST_F(Tillpop, ReadyDrawerOpensOnTheFirstTick) {
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  EXPECT_EQ(Run(), 100 + 1);
  EXPECT_EQ(Result(), "OK\r\n");
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
  EXPECT_EQ(virtualhid::OpenHandles(), 0);  // everything released on the way out
}

TEST_F(Tillpop, NoDrawerMeansFortyAttemptsThenNotFound) {
  EXPECT_EQ(Run(), 41 * 100);  // forty attempts, and the forty-first tick writes the result
  EXPECT_EQ(Result(), "NOT_FOUND\r\n");
}

TEST_F(Tillpop, AnErrorReplyOnEveryAttemptIsNotFoundRatherThanError) {
  auto cfg = virtualhid::ReadyDrawer();
  cfg.firmware = virtualhid::Firmware::ErrorReply;
  auto drawer = virtualhid::AddDevice(cfg);
  Run();
  EXPECT_EQ(Result(), "NOT_FOUND\r\n");
  EXPECT_EQ(virtualhid::CommandsReceived(drawer).size(), 40u);
}

TEST_F(Tillpop, SilentDrawerCostsItsPollsOnEveryAttempt) {
  auto cfg = virtualhid::ReadyDrawer();
  cfg.firmware = virtualhid::Firmware::Silent;
  virtualhid::AddDevice(cfg);
  // Each attempt: its 100 ms tick, the 1 ms settle and ten 50 ms polls; then the last tick.
  EXPECT_EQ(Run(), 40 * (100 + 1 + 500) + 100);
  EXPECT_EQ(Result(), "NOT_FOUND\r\n");
}

TEST_F(Tillpop, NoErrOpensTheDrawerButWritesNothing) {
  host::SetCommandLine({"tillpop", "/NoErr"});
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  Run();
  EXPECT_EQ(Result(), "<none>");
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}

TEST_F(Tillpop, FormActivationArmsFortyAttemptsAndShrinksTheFormToOnePixel) {
  host::TApplication app;
  tillpop::TDataModule1* module = nullptr;
  tillpop::TMainForm* form = nullptr;
  app.CreateForm(module);  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks): the app owns it
  app.CreateForm(form);    // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks)
  EXPECT_FALSE(module->TimerHideTask->Enabled());
  form->DoActivate();
  EXPECT_EQ(Data_module::ConnectAttemptsLeft, 40);
  EXPECT_EQ(form->Left(), 0);
  EXPECT_EQ(form->Top(), 0);
  EXPECT_EQ(form->Width(), 1);
  EXPECT_EQ(form->Height(), 1);
  EXPECT_TRUE(module->TimerHideTask->Enabled());
  app.ProcessMessages();
  host::portable::AdvanceClock(50);
  app.ProcessMessages();
  // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks): the application frees the module
  EXPECT_FALSE(module->TimerHideTask->Enabled());  // it runs once
}

TEST_F(Tillpop, ATickBeforeAnyActivationEndsTheRunAtOnceWithNotFound) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  host::TApplication app;
  tillpop::TDataModule1* module = nullptr;
  // No main form: nothing is ever activated. The module belongs to the application.
  app.CreateForm(module);  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks)
  app.Run();
  EXPECT_EQ(Result(), "NOT_FOUND\r\n");
  // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks): the application frees the module
  EXPECT_FALSE(module->TimerTryToConnect->Enabled());
}

#ifndef _WIN32
// A disk that refuses the first data written to it and takes what comes after: files may not
// grow at all until the first write that tries, whose signal lifts the limit again.
class FirstWriteRefused {
 public:
  FirstWriteRefused() {
    getrlimit(RLIMIT_FSIZE, &limit_);
    refused_.store(0);
    struct sigaction lift {};
    lift.sa_handler = &Lift;
    sigemptyset(&lift.sa_mask);
    sigaction(SIGXFSZ, &lift, &saved_);
    rlimit none = limit_;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
  }
  ~FirstWriteRefused() {
    setrlimit(RLIMIT_FSIZE, &limit_);
    sigaction(SIGXFSZ, &saved_, nullptr);
  }
  FirstWriteRefused(const FirstWriteRefused&) = delete;
  FirstWriteRefused& operator=(const FirstWriteRefused&) = delete;
  static int Refused() { return refused_; }

 private:
  static void Lift(int) {
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &limit_);
    refused_.fetch_add(1);
    errno = error;
  }
  static inline rlimit limit_{};
  static inline std::atomic<int> refused_{0};  // lock-free: fit for a signal handler
  struct sigaction saved_ {};
};

TEST_F(Tillpop, AnOkThatCannotBeWrittenBecomesError) {
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  std::int64_t took = 0;
  {
    FirstWriteRefused disk;
    took = Run();
    EXPECT_EQ(disk.Refused(), 1);
  }
  EXPECT_EQ(Result(), "ERROR\r\n");
  EXPECT_EQ(took, 100 + 1);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}

TEST_F(Tillpop, AFailureWritingOkEndsTheRunAfterThatAttempt) {
  // The result file leads to a device that refuses the data: writing "OK" raises, so the
  // attempt ends in "ERROR" (which cannot be written either) and the program still ends.
  std::filesystem::create_symlink("/dev/full", public_u::ResultFileName());
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  EXPECT_EQ(Run(), 100 + 1);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}
#endif

}  // namespace
