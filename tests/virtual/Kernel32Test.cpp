// The virtual kernel32 file calls: opening by device path, and overlapped reads whose completion
// routines run as APCs in the issuing thread's alertable waits, with real threads.
#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "VirtualTesting.h"

namespace {

using namespace std::chrono_literals;
using virtualhid::Access;
using virtualhid::DeviceConfig;

constexpr DWORD kInvalidUserBuffer = 1784;

// What a completion routine saw. The OVERLAPPED's event member carries it, as the HID device
// stores itself there.
struct Completion {
  int calls = 0;
  DWORD error = 0xFFFF;
  DWORD bytes = 0xFFFF;
  std::thread::id thread;
};

void WINAPI Record(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
  auto* c = static_cast<Completion*>(overlapped->hEvent);
  ++c->calls;
  c->error = error;
  c->bytes = bytes;
  c->thread = std::this_thread::get_id();
}

// For the test thread to wait until the other thread has got somewhere.
template <class Predicate>
bool WaitUntil(Predicate done) {
  for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(1ms);
  return done();
}

class Kernel32Test : public vtest::VirtualHidTest {
 protected:
  virtualhid::DeviceId Reader(std::uint16_t inputLength = 5) {
    DeviceConfig c = virtualhid::ReadyDrawer();
    c.inputReportLength = inputLength;
    return virtualhid::AddDevice(c);
  }
  HANDLE OpenForReading(virtualhid::DeviceId d) {
    return Open(d, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  }
};

struct AccessCase {
  Access access;
  DWORD requested;
  bool opens;
};

class OpeningRights : public Kernel32Test, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(OpeningRights, FollowTheInterfacesAccess) {
  DeviceConfig c;
  c.access = GetParam().access;
  auto d = virtualhid::AddDevice(c);
  api->SetLastError(0);
  HANDLE h = Open(d, GetParam().requested);
  EXPECT_EQ(h != INVALID_HANDLE_VALUE, GetParam().opens);
  if (h == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  } else {
    api->CloseHandle(h);
  }
}

INSTANTIATE_TEST_SUITE_P(
    AccessTable, OpeningRights,
    ::testing::Values(
        AccessCase{Access::ReadWrite, GENERIC_READ | GENERIC_WRITE, true},
        AccessCase{Access::ReadWrite, GENERIC_READ, true}, AccessCase{Access::ReadWrite, 0, true},
        AccessCase{Access::QueryOnly, GENERIC_READ | GENERIC_WRITE, false},
        AccessCase{Access::QueryOnly, GENERIC_WRITE, false}, AccessCase{Access::QueryOnly, 0, true},
        AccessCase{Access::None, GENERIC_READ, false}, AccessCase{Access::None, 0, false}));

TEST_F(Kernel32Test, PathsOpenWhilePluggedAndHandlesAreNeverReused) {
  auto d = Reader();
  const std::string path = virtualhid::DevicePath(d);
  std::string upper = path;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::set<HANDLE> seen;
  for (int i = 0; i < 50; ++i) {
    HANDLE h = api->CreateFile(i % 2 ? upper.c_str() : path.c_str(), 0, 3, nullptr, OPEN_EXISTING,
                               0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(seen.insert(h).second);
    EXPECT_TRUE(api->CloseHandle(h));
  }
  EXPECT_FALSE(api->CloseHandle(*seen.begin()));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);

  HANDLE sync = Open(d);
  HANDLE async = OpenForReading(d);
  auto handles = virtualhid::Handles(d);
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_EQ(handles[0].overlapped + handles[1].overlapped, 1);
  EXPECT_EQ(virtualhid::OpenHandles(), 2);

  virtualhid::Unplug(d);
  EXPECT_EQ(api->CreateFile(path.c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(api->GetLastError(), ERROR_FILE_NOT_FOUND);
  virtualhid::Plug(d);
  EXPECT_EQ(api->CreateFile(path.c_str(), 0, 3, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);  // the old plug's path is gone for good
  api->CloseHandle(sync);
  api->CloseHandle(async);
  EXPECT_EQ(virtualhid::OpenHandles(), 0);
}

TEST_F(Kernel32Test, AReportCompletesTheReadAndTheRoutineRunsOnTheReadingThread) {
  auto d = Reader();
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  BOOL started = FALSE;
  DWORD woke = 0;
  BOOL result = FALSE;
  DWORD count = 0;
  std::thread::id readerId;
  std::thread reader([&] {
    readerId = std::this_thread::get_id();
    started = api->ReadFileEx(h, buffer.data(), 5, &ov, &Record);
    woke = api->SleepEx(10000, TRUE);
    result = api->GetOverlappedResult(h, &ov, &count, FALSE);
  });
  ASSERT_TRUE(WaitUntil([&] { return virtualhid::PendingReads(d) == 1; }));
  EXPECT_TRUE(virtualhid::QueueInputReport(d, {0, 1, 2, 3, 4}));
  reader.join();

  EXPECT_TRUE(started);
  EXPECT_EQ(woke, WAIT_IO_COMPLETION);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(c.thread, readerId);
  EXPECT_EQ(c.error, ERROR_SUCCESS);
  EXPECT_EQ(c.bytes, 5u);
  EXPECT_TRUE(result);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 5>{0, 1, 2, 3, 4}));
  api->CloseHandle(h);
}

TEST_F(Kernel32Test, ResultIsIncompleteUntilTheReportAndTheRoutineWaitsForAnAlertableWait) {
  auto d = Reader(4);
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 8> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 8, &ov, &Record));
  DWORD count = 99;
  EXPECT_FALSE(api->GetOverlappedResult(h, &ov, &count, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_IO_INCOMPLETE);

  // Cut to the interface's four bytes; a short one is padded.
  virtualhid::QueueInputReport(d, {0, 9, 8, 7, 6, 5});
  EXPECT_TRUE(api->GetOverlappedResult(h, &ov, &count, FALSE));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(c.calls, 0);
  EXPECT_EQ(api->SleepEx(0, FALSE), 0u);  // not alertable: the routine stays queued
  EXPECT_EQ(c.calls, 0);
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 8>{0, 9, 8, 7, 0, 0, 0, 0}));

  virtualhid::QueueInputReport(d, {0, 1});
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 8, &ov, &Record));  // waiting: done at once
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(buffer[1], 1);
  EXPECT_EQ(buffer[2], 0);
  api->CloseHandle(h);
}

TEST_F(Kernel32Test, WaitingReportsKeepTheirOrderAndTheOldestGoBeyondFiveHundredTwelve) {
  auto d = Reader(2);
  HANDLE h = OpenForReading(d);
  for (int i = 0; i < 514; ++i) {
    virtualhid::QueueInputReport(d, {0, static_cast<std::uint8_t>(i & 0xFF)});
  }
  std::array<std::uint8_t, 2> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  for (int expected : {2, 3, 4}) {
    ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 2, &ov, &Record));
    EXPECT_EQ(buffer[1], expected);
  }
  api->CloseHandle(h);
}

TEST_F(Kernel32Test, AlertableSleepTakesItsTimeWhenNothingCompletes) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(api->SleepEx(40, TRUE), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(api->SleepEx(20, FALSE), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST_F(Kernel32Test, RoutinesGoOnlyToTheThreadThatIssuedTheRead) {
  auto d = Reader();
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  std::promise<void> issued;
  std::promise<void> reported;
  DWORD woke = 0;
  std::thread reader([&] {
    api->ReadFileEx(h, buffer.data(), 5, &ov, &Record);
    issued.set_value();
    reported.get_future().wait();
    woke = api->SleepEx(0, TRUE);
  });
  issued.get_future().wait();
  virtualhid::QueueInputReport(d, {0, 1, 2, 3, 4});
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);  // not this thread's read
  reported.set_value();
  reader.join();
  EXPECT_EQ(woke, WAIT_IO_COMPLETION);
  EXPECT_EQ(c.calls, 1);
  api->CloseHandle(h);
}

TEST_F(Kernel32Test, CancelIoEndsOnlyTheCallingThreadsReads) {
  auto d = Reader();
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 5, &ov, &Record));

  BOOL otherCancel = FALSE;
  std::thread other([&] { otherCancel = api->CancelIo(h); });
  other.join();
  EXPECT_TRUE(otherCancel);
  EXPECT_EQ(virtualhid::PendingReads(d), 1);

  EXPECT_TRUE(api->CancelIo(h));
  EXPECT_EQ(virtualhid::PendingReads(d), 0);
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(c.error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(c.bytes, 0u);
  DWORD count = 99;
  EXPECT_FALSE(api->GetOverlappedResult(h, &ov, &count, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(count, 0u);
  api->CloseHandle(h);
  EXPECT_FALSE(api->CancelIo(h));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

// Closing the handle or unplugging the interface while another thread waits on a read.
struct Ending {
  const char* name;
  bool unplug;
  DWORD error;
};

class EndingAPendingRead : public Kernel32Test, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingAPendingRead, WakesTheReaderWithNoBytesAndAnError) {
  auto d = Reader();
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  DWORD woke = 0;
  BOOL result = TRUE;
  DWORD resultError = 0;
  BOOL restarted = TRUE;
  DWORD restartError = 0;
  std::thread reader([&] {
    api->ReadFileEx(h, buffer.data(), 5, &ov, &Record);
    woke = api->SleepEx(10000, TRUE);
    DWORD count = 0;
    result = api->GetOverlappedResult(h, &ov, &count, FALSE);
    resultError = api->GetLastError();
    restarted = api->ReadFileEx(h, buffer.data(), 5, &ov, &Record);
    restartError = api->GetLastError();
  });
  ASSERT_TRUE(WaitUntil([&] { return virtualhid::PendingReads(d) == 1; }));
  if (GetParam().unplug) {
    virtualhid::Unplug(d);
  } else {
    api->CloseHandle(h);
  }
  reader.join();
  EXPECT_EQ(woke, WAIT_IO_COMPLETION);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(c.bytes, 0u);
  EXPECT_EQ(c.error, GetParam().error);
  EXPECT_FALSE(result);
  EXPECT_EQ(resultError, GetParam().error);
  EXPECT_FALSE(restarted);
  EXPECT_EQ(restartError, GetParam().unplug ? ERROR_DEVICE_NOT_CONNECTED : ERROR_INVALID_HANDLE);
  if (GetParam().unplug) api->CloseHandle(h);
}

std::string EndingName(const ::testing::TestParamInfo<Ending>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Endings, EndingAPendingRead,
                         ::testing::Values(Ending{"Close", false, ERROR_OPERATION_ABORTED},
                                           Ending{"Unplug", true, ERROR_DEVICE_NOT_CONNECTED}),
                         EndingName);

TEST_F(Kernel32Test, ReadsThatCannotStartSayWhy) {
  DeviceConfig c = virtualhid::ReadyDrawer();
  auto d = virtualhid::AddDevice(c);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion done;
  ov.hEvent = &done;
  auto refused = [&](HANDLE h, DWORD count) {
    api->SetLastError(0);
    EXPECT_FALSE(api->ReadFileEx(h, buffer.data(), count, &ov, &Record));
    return api->GetLastError();
  };
  HANDLE plain = Open(d, GENERIC_READ);
  EXPECT_EQ(refused(plain, 5), ERROR_INVALID_PARAMETER);
  HANDLE writeOnly = Open(d, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  EXPECT_EQ(refused(writeOnly, 5), ERROR_ACCESS_DENIED);
  HANDLE reading = OpenForReading(d);
  EXPECT_EQ(refused(reading, 4), kInvalidUserBuffer);
  api->CloseHandle(reading);
  EXPECT_EQ(refused(reading, 5), ERROR_INVALID_HANDLE);
  virtualhid::FailNextCalls("ReadFileEx", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(refused(plain, 5), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(done.calls, 0);
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  api->CloseHandle(plain);
  api->CloseHandle(writeOnly);
}

TEST_F(Kernel32Test, AThreadThatEndsTakesItsPendingReadsWithIt) {
  auto d = Reader();
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 5> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  std::thread([&] { api->ReadFileEx(h, buffer.data(), 5, &ov, &Record); }).join();
  EXPECT_EQ(virtualhid::PendingReads(d), 0);
  virtualhid::QueueInputReport(d, {0, 7});  // waits for the next read instead
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 5, &ov, &Record));
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(buffer[1], 7);
  api->CloseHandle(h);
}

TEST_F(Kernel32Test, LastErrorBelongsToEachThread) {
  api->SetLastError(5);
  DWORD seen = 0;
  std::thread([&] {
    seen = api->GetLastError();
    api->SetLastError(6);
  }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(api->GetLastError(), 5u);
}

// The reader's loop, as the HID device runs it, against a GUI thread that feeds it reports
// and then unplugs the interface under it.
TEST_F(Kernel32Test, AReaderLoopGetsEveryReportInOrderUntilTheInterfaceGoes) {
  auto d = Reader(3);
  HANDLE h = OpenForReading(d);
  std::vector<int> received;
  DWORD endError = 0;
  std::thread reader([&] {
    std::array<std::uint8_t, 3> report{};
    OVERLAPPED ov{};
    Completion c;
    for (;;) {
      ov = OVERLAPPED{};
      ov.hEvent = &c;
      if (!api->ReadFileEx(h, report.data(), 3, &ov, &Record)) {
        endError = api->GetLastError();
        return;
      }
      while (api->SleepEx(20, TRUE) != WAIT_IO_COMPLETION) {
      }
      DWORD count = 0;
      if (api->GetOverlappedResult(h, &ov, &count, FALSE) && count == 3) {
        received.push_back(report[1] | (report[2] << 8));
      }
    }
  });
  constexpr int kReports = 300;
  for (int i = 0; i < kReports; ++i) {
    virtualhid::QueueInputReport(
        d, {0, static_cast<std::uint8_t>(i & 0xFF), static_cast<std::uint8_t>(i >> 8)});
    if (i % 50 == 0) std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(WaitUntil([&] { return virtualhid::PendingReads(d) == 1; }));
  virtualhid::Unplug(d);
  reader.join();
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kReports));
  for (int i = 0; i < kReports; ++i) ASSERT_EQ(received[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(endError, ERROR_DEVICE_NOT_CONNECTED);
  api->CloseHandle(h);
}

}  // namespace
