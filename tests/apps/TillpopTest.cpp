// tillpop as a whole on the virtual clock: forty attempts a hundred milliseconds apart, and the
// one line it leaves for its caller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "apps/tillpop/TillpopForms.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
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
  // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks): the application frees the module
  const std::int64_t start = host::TickCountMs();
  app.Run();
  EXPECT_EQ(host::TickCountMs() - start, 100);  // the first tick, and no attempt
  EXPECT_EQ(Result(), "NOT_FOUND\r\n");
}

#ifndef _WIN32
// A disk that refuses the first `count` writes of data and takes what comes after: files may not
// grow at all until that many writes have tried, whose signals then lift the limit again.
class WritesRefused {
 public:
  explicit WritesRefused(int count) {
    getrlimit(RLIMIT_FSIZE, &limit_);
    refused_.store(0);
    count_ = count;
    struct sigaction lift {};
    lift.sa_handler = &Lift;
    sigemptyset(&lift.sa_mask);
    sigaction(SIGXFSZ, &lift, &saved_);
    rlimit none = limit_;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
  }
  ~WritesRefused() {
    setrlimit(RLIMIT_FSIZE, &limit_);
    sigaction(SIGXFSZ, &saved_, nullptr);
  }
  WritesRefused(const WritesRefused&) = delete;
  WritesRefused& operator=(const WritesRefused&) = delete;
  static int Refused() { return refused_; }

 private:
  static void Lift(int) {
    const int error = errno;
    if (refused_.fetch_add(1) + 1 == count_) setrlimit(RLIMIT_FSIZE, &limit_);
    errno = error;
  }
  static inline rlimit limit_{};
  static inline std::atomic<int> refused_{0};  // lock-free: fit for a signal handler
  static inline int count_ = 1;
  struct sigaction saved_ {};
};

TEST_F(Tillpop, AnOkThatCannotBeWrittenBecomesError) {
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  std::int64_t took = 0;
  {
    WritesRefused disk(1);
    took = Run();
    EXPECT_EQ(disk.Refused(), 1);
  }
  EXPECT_EQ(Result(), "ERROR\r\n");
  EXPECT_EQ(took, 100 + 1);
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}

TEST_F(Tillpop, AFailureWritingOkEndsTheRunAfterThatAttempt) {
  // Writing "OK" raises, so the attempt ends in "ERROR", which cannot be written either, and the
  // program still ends, leaving no file.
  auto drawer = virtualhid::AddDevice(virtualhid::ReadyDrawer());
  {
    WritesRefused disk(2);
    EXPECT_EQ(Run(), 100 + 1);
  }
  EXPECT_EQ(Result(), "<none>");
  EXPECT_EQ(virtualhid::DrawerOpens(drawer), 1);
}
#endif

// The support trace of a run, stamped with the virtual clock so that times are exact.
class TracedTillpop : public Tillpop {
 protected:
  static std::int64_t VirtualMicroseconds() { return host::TickCountMs() * 1000; }
  void SetUp() override {
    Tillpop::SetUp();
    path_ = (std::filesystem::temp_directory_path() / "till-tillpop-trace.txt").string();
    std::filesystem::remove(path_);
  }
  void TearDown() override {
    std::filesystem::remove(path_);
    Tillpop::TearDown();
  }
  // The lines of a traced run, without the header.
  std::vector<std::string> TracedRun() {
    std::filesystem::remove(path_);  // the trace appends
    {
      host::Trace trace(path_, "tillpop", &VirtualMicroseconds);
      Run();
    }
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }
  static std::vector<std::string> OfKind(const std::vector<std::string>& lines,
                                         const std::string& kind) {
    std::vector<std::string> texts;
    const std::string marker = " " + kind + ": ";
    for (const std::string& line : lines) {
      const auto at = line.find(marker);
      if (at != std::string::npos && line.find_first_not_of(" 0123456789.") == at + 1) {
        texts.push_back(line.substr(at + marker.size()));
      }
    }
    return texts;
  }
  std::string path_;
};

TEST_F(TracedTillpop, ShowsTheExchangeWithTheDrawerAndWhenEachStepHappened) {
  virtualhid::AddDevice(virtualhid::ReadyDrawer());
  const std::vector<std::string> expected = {
      "     0.000 arrival: Arrival of QV USB Cash Drawer",
      "   100.000 selection: Selection of QV USB Cash Drawer",
      "   100.000 command: 00 57 4F 00 18",
      "   101.000 reply: 00 2B 4F 00 64",
      "   101.000 attempt: DrawerError 0: acknowledged, drawer opened",
      "   101.000 result: OK written to " + public_u::ResultFileName(),
  };
  EXPECT_EQ(TracedRun(), expected);
  EXPECT_EQ(Result(), "OK\r\n");  // the trace changes nothing in the result file
}

TEST_F(TracedTillpop, EachFailedAttemptSaysWhyWithItsDrawerError) {
  struct Case {
    std::optional<virtualhid::Firmware> firmware;  // none: no device at all
    std::string command;                           // the first command line, "" for none
    std::string firstReply;
    std::string attempt;
  } const cases[] = {
      {virtualhid::Firmware::ErrorReply, "00 57 4F 00 18", "00 45 43 00 06",
       "DrawerError 1: the interface answered with an error"},
      {virtualhid::Firmware::NoAck, "00 57 4F 00 18", "00 2D 4F 00 62",
       "DrawerError 2: the answer was not an acknowledgement"},
      {virtualhid::Firmware::Silent, "00 57 4F 00 18",
       "00 57 4F 00 18 (the command, not yet an answer)", "DrawerError 3: no answer"},
      {virtualhid::Firmware::WriteFails, "00 57 4F 00 18 (not sent)", "",
       "DrawerError 5: the command could not be sent"},
      {std::nullopt, "", "", "no drawer interface among 0 listed devices"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attempt);
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    if (c.firmware) {
      auto cfg = virtualhid::ReadyDrawer();
      cfg.firmware = *c.firmware;
      virtualhid::AddDevice(cfg);
    }
    const auto lines = TracedRun();
    const auto attempts = OfKind(lines, "attempt");
    ASSERT_EQ(attempts.size(), 40u);
    EXPECT_EQ(attempts.front(), c.attempt);
    EXPECT_EQ(attempts.back(), c.attempt);
    const auto commands = OfKind(lines, "command");
    const auto replies = OfKind(lines, "reply");
    if (c.command.empty()) {
      EXPECT_TRUE(commands.empty());
    } else {
      ASSERT_EQ(commands.size(), 40u);
      EXPECT_EQ(commands.front(), c.command);
    }
    if (c.firstReply.empty()) {
      EXPECT_TRUE(replies.empty());
    } else {
      ASSERT_FALSE(replies.empty());
      EXPECT_EQ(replies.front(), c.firstReply);
    }
    EXPECT_EQ(OfKind(lines, "result"),
              std::vector<std::string>{"NOT_FOUND written to " + public_u::ResultFileName()});
  }
}

}  // namespace
