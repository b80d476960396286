// The support trace: what reaches the file, in what shape, and when nothing does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/Exception.h"
#include "host/Messages.h"
#include "host/Trace.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::int64_t FixedClock() {
  return 0;
}

class TraceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() /
             ("till-trace-" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
                .string();
    fs::remove(path_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  std::vector<std::string> Lines() const {
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string path_;
};

TEST_F(TraceFile, EachEventIsOneStampedLineAfterTheRunsHeader) {
  {
    host::Trace trace(path_, "tillpop", &FixedClock);
    ASSERT_TRUE(trace.IsOpen());
    EXPECT_TRUE(host::Tracing());
    const unsigned char report[5] = {0x00, 0x57, 0x4F, 0x00, 0x18};
    host::TraceLine("command", host::HexBytes(report, sizeof(report)));
    host::TraceLine("read error", "two\r\nlines\x7F\xC2\x9B\xC2\xA0");
  }
  EXPECT_FALSE(host::Tracing());
  host::TraceLine("command", "after the end");  // goes nowhere
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("== tillpop, process ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "     0.000 command: 00 57 4F 00 18");
  EXPECT_EQ(lines[2], "     0.000 read error: two\\x0D\\x0Alines\\x7F\\xC2\\x9B\xC2\xA0");
}

TEST_F(TraceFile, EveryRunIsAppendedAndANewerTraceTakesOverUntilItEnds) {
  const std::string other = path_ + ".other";
  {
    host::Trace first(path_, "first", &FixedClock);
    host::TraceLine("a", "1");
    {
      host::Trace second(other, "second", &FixedClock);
      host::TraceLine("b", "2");
    }
    host::TraceLine("a", "3");
  }
  {
    host::Trace again(path_, "again", &FixedClock);
    host::TraceLine("a", "4");
  }
  std::ifstream in(other);
  std::string otherText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  fs::remove(other);
  EXPECT_NE(otherText.find("b: 2"), std::string::npos);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("== first", 0), 0u);
  EXPECT_EQ(lines[1], "     0.000 a: 1");
  EXPECT_EQ(lines[2], "     0.000 a: 3");
  EXPECT_EQ(lines[3].rfind("== again", 0), 0u);
  EXPECT_EQ(lines[4], "     0.000 a: 4");
}

std::int64_t TickingClock() {
  static std::int64_t now = 0;
  return now += 1500;  // 1.5 ms a reading
}

TEST_F(TraceFile, ASinkGetsEachEventAsTracedWhileItIsTheNewestTrace) {
  struct Event {
    double ms;
    std::string kind;
    std::string text;
  };
  std::vector<Event> events;
  {
    host::Trace file(path_, "tillpop", &FixedClock);
    {
      host::Trace sink(
          [&events](double ms, std::string_view kind, std::string_view text) {
            events.push_back({ms, std::string(kind), std::string(text)});
          },
          &TickingClock);
      EXPECT_TRUE(sink.IsOpen());
      host::TraceLine("reply", "two\r\nlines");
      host::TraceLine("attempt", "done");
    }
    host::TraceLine("command", "to the file again");
  }
  EXPECT_FALSE(host::Tracing());
  // Texts as given (the sink's owner decides how to show them), times from the trace's start.
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, "reply");
  EXPECT_EQ(events[0].text, "two\r\nlines");
  EXPECT_DOUBLE_EQ(events[0].ms, 1.5);
  EXPECT_DOUBLE_EQ(events[1].ms, 3.0);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "     0.000 command: to the file again");

  // An empty sink traces nothing.
  host::Trace none(host::Trace::Sink{});
  EXPECT_FALSE(none.IsOpen());
  EXPECT_FALSE(host::Tracing());
}

TEST_F(TraceFile, NoFileNameOrAnUnopenableFileTracesNothing) {
  host::Trace none("", "tillpop");
  EXPECT_FALSE(none.IsOpen());
  EXPECT_TRUE(none.Error().empty());
  EXPECT_FALSE(host::Tracing());

  host::Trace bad((fs::path(path_) / "no-such-folder" / "trace.txt").string(), "tillpop");
  EXPECT_FALSE(bad.IsOpen());
  EXPECT_NE(bad.Error().find("no-such-folder"), std::string::npos) << bad.Error();
  EXPECT_FALSE(host::Tracing());
}

#ifndef _WIN32
// Only this user's own regular file, made for this user alone, takes the trace.
TEST_F(TraceFile, ALinkAPipeOrAnotherUsersFileIsNotTracedInto) {
  EXPECT_TRUE(host::Trace(path_, "tillpop").IsOpen());
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms{0600});
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
    EXPECT_NE(host::Trace(path_, "tillpop").Error().find("another user"), std::string::npos);
  }
  fs::remove(path_);
  fs::create_symlink(path_ + ".planted", path_);
  EXPECT_FALSE(host::Trace(path_, "tillpop").IsOpen());
  EXPECT_FALSE(fs::exists(path_ + ".planted"));
  fs::remove(path_);
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_FALSE(host::Trace(path_, "tillpop").IsOpen());  // without waiting for a reader
}
#endif

LRESULT Raise(HWND, UINT, WPARAM, LPARAM) {
  throw host::Exception("no reply");
}

TEST_F(TraceFile, AnExceptionEndingAtTheMessageDispatchIsRecordedWithItsKind) {
  host::Trace trace(path_, "tillpop", &FixedClock);
  const auto method = host::WndMethod::Of<&Raise>();
  EXPECT_EQ(host::CallWindowMethod(method, nullptr, 0x0219, 7, 0), 0);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "     0.000 exception: the handler of window message $0219 dropped host::Exception: "
            "no reply");
}

TEST_F(TraceFile, LinesFromSeveralThreadsStayWhole) {
  constexpr int kPerThread = 500;
  const std::string text(200, 'x');
  {
    host::Trace trace(path_, "tillpop", &FixedClock);
    auto writer = [&] {
      for (int i = 0; i < kPerThread; ++i) host::TraceLine("reader", text);
    };
    std::thread other(writer);
    writer();
    other.join();
  }
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u + 2 * kPerThread);
  for (size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i], "     0.000 reader: " + text);
}

}  // namespace
