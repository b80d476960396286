// Overlapped reads as the HID device's reader thread makes them: ReadFileEx, completion routines
// run on the issuing thread inside its alertable SleepEx, GetOverlappedResult, cancellation, and
// the ends a read can come to. With real threads; the test waits for events, never for time.
#include <time.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "hid/Kernel32.h"
#include "tests/contract/Backends.h"
#include "tests/contract/ThreadWake.h"

namespace contract {
namespace {

using Clock = std::chrono::steady_clock;
constexpr Report kReport = {0, 0x11, 0x22, 0x33, 0x44};
constexpr DWORD kInvalidUserBuffer = 1784;

// One overlapped read and what its routine saw. The record comes first, so the routine finds the
// read from the OVERLAPPED it is given; hEvent stays null, as GetOverlappedResult waits on it
// when it is set.
struct Read {
  OVERLAPPED overlapped{};
  Report buffer{};
  int calls = 0;
  DWORD error = 0xFFFF;
  DWORD bytes = 0xFFFF;
  std::thread::id thread;

  static void WINAPI Done(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
    auto* read = reinterpret_cast<Read*>(overlapped);
    ++read->calls;
    read->error = error;
    read->bytes = bytes;
    read->thread = std::this_thread::get_id();
  }
  bool Start(servicetest::Libraries& api, HANDLE h, DWORD count = 5) {
    overlapped = OVERLAPPED{};
    return api.ReadFileEx(h, buffer.data(), count, &overlapped, &Done) != 0;
  }
};

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

using Reads = Contract;

TEST_P(Reads, TheResultIsIncompleteUntilTheReportAndTheRoutineWaitsForAnAlertableWait) {
  HANDLE h = OpenReader(backend->Add({}));
  Read read;
  ASSERT_TRUE(read.Start(*api, h));
  DWORD count = 99;
  EXPECT_FALSE(api->GetOverlappedResult(h, &read.overlapped, &count, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_IO_INCOMPLETE);
  backend->Send(kReport);
  EXPECT_TRUE(api->GetOverlappedResult(h, &read.overlapped, &count, TRUE));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(api->SleepEx(0, FALSE), 0u);  // neither waiting for the result nor a plain sleep
  EXPECT_EQ(read.calls, 0);               // runs the routine
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.calls, 1);
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  api->CloseHandle(h);
}

TEST_P(Reads, ReportsThatCameBeforeTheReadsCompleteThemInOrder) {
  HANDLE h = OpenReader(backend->Add({}));
  constexpr Report second = {0, 5, 6, 7, 8};
  backend->Send(kReport);
  backend->Send(second);
  for (const auto& expected : {kReport, second}) {
    Read read;
    ASSERT_TRUE(read.Start(*api, h));
    EXPECT_EQ(api->SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
    EXPECT_EQ(read.buffer, expected);
  }
  api->CloseHandle(h);
}

TEST_P(Reads, AnAlertableWaitWithNothingDueTakesItsTimeWithoutSpinning) {
  HANDLE h = OpenReader(backend->Add({}));
  Read read;
  ASSERT_TRUE(read.Start(*api, h));
  for (bool pending : {true, false}) {
    if (!pending) {
      EXPECT_TRUE(api->CancelIo(h));
      EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
    }
    for (BOOL alertable : {TRUE, FALSE}) {
      const auto start = Clock::now();
      const double cpu = ThreadCpuMs();
      EXPECT_EQ(api->SleepEx(100, alertable), 0u);
      EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
      EXPECT_LT(ThreadCpuMs() - cpu, 50.0);
    }
  }
  api->CloseHandle(h);
}

TEST_P(Reads, TheRoutineGoesOnlyToTheThreadThatIssuedTheRead) {
  HANDLE h = OpenReader(backend->Add({}));
  Read read;
  std::promise<void> issued;
  std::promise<void> sent;
  DWORD woke = 0;
  std::thread reader([&] {
    EXPECT_TRUE(read.Start(*api, h));
    issued.set_value();
    sent.get_future().wait();
    woke = api->SleepEx(10000, TRUE);
  });
  issued.get_future().wait();
  backend->Send(kReport);
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  sent.set_value();
  reader.join();
  EXPECT_EQ(woke, WAIT_IO_COMPLETION);
  EXPECT_EQ(read.calls, 1);
  api->CloseHandle(h);
}

TEST_P(Reads, CancelIoEndsOnlyTheCallingThreadsReads) {
  HANDLE h = OpenReader(backend->Add({}));
  Read read;
  ASSERT_TRUE(read.Start(*api, h));
  BOOL otherCancelled = FALSE;
  std::thread([&] { otherCancelled = api->CancelIo(h); }).join();
  EXPECT_TRUE(otherCancelled);
  backend->Send(kReport);  // the read still takes it
  EXPECT_EQ(api->SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.error, ERROR_SUCCESS);
  EXPECT_EQ(read.bytes, 5u);

  ASSERT_TRUE(read.Start(*api, h));
  EXPECT_TRUE(api->CancelIo(h));
  backend->ExpectPendingReads(0);
  EXPECT_EQ(read.calls, 1);  // the routine runs only in an alertable wait
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.calls, 2);
  EXPECT_EQ(read.error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(read.bytes, 0u);
  DWORD count = 99;
  EXPECT_FALSE(api->GetOverlappedResult(h, &read.overlapped, &count, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(api->CloseHandle(h));
  EXPECT_FALSE(api->CancelIo(h));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(api->CloseHandle(h));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

// A read another thread waits on, ended by `end`: the wait ends at once with the routine on
// that thread, which gets `error` (with the report on success); the next read on the handle
// starts, or fails with `restartError`.
void ExpectAWaitingReadEnds(servicetest::Libraries& api, Backend& backend, HANDLE h,
                            const std::function<void()>& end, DWORD error, DWORD restartError) {
  Read read;
  Read next;  // outlives the thread: the system may still write its record when the thread ends
  std::promise<bool> issued;
  DWORD woke = 0;
  BOOL result = FALSE;
  DWORD resultError = 0;
  DWORD count = 99;
  BOOL restarted = FALSE;
  DWORD restartedError = 0;
  Clock::duration waited{};
  std::thread::id readerId;
  std::thread reader([&] {
    readerId = std::this_thread::get_id();
    issued.set_value(read.Start(api, h));
    const auto start = Clock::now();
    woke = api.SleepEx(20000, TRUE);
    waited = Clock::now() - start;
    result = api.GetOverlappedResult(h, &read.overlapped, &count, FALSE);
    resultError = api.GetLastError();
    restarted = next.Start(api, h);
    restartedError = api.GetLastError();
  });
  EXPECT_TRUE(issued.get_future().get());
  backend.AwaitBlockedReader();
  end();
  reader.join();
  EXPECT_EQ(woke, WAIT_IO_COMPLETION);
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(read.calls, 1);
  EXPECT_EQ(read.thread, readerId);
  EXPECT_EQ(read.error, error);
  const DWORD bytes = error == ERROR_SUCCESS ? 5 : 0;
  EXPECT_EQ(read.bytes, bytes);
  EXPECT_EQ(count, bytes);
  EXPECT_EQ(result, error == ERROR_SUCCESS);
  EXPECT_EQ(result ? error : resultError, error);
  EXPECT_EQ(read.buffer, error == ERROR_SUCCESS ? kReport : Report{});
  EXPECT_EQ(restarted, restartError == ERROR_SUCCESS);
  EXPECT_EQ(restarted ? restartError : restartedError, restartError);
}

TEST_P(Reads, AReportCompletesAReadAnotherThreadWaitsOnThere) {
  HANDLE h = OpenReader(backend->Add({}));
  ExpectAWaitingReadEnds(
      *api, *backend, h, [&] { backend->Send(kReport); }, ERROR_SUCCESS, ERROR_SUCCESS);
  api->CloseHandle(h);
}

TEST_P(Reads, ClosingTheHandleEndsAReadAnotherThreadWaitsOn) {
  HANDLE h = OpenReader(backend->Add({}));
  ExpectAWaitingReadEnds(
      *api, *backend, h, [&] { EXPECT_TRUE(api->CloseHandle(h)); }, backend->ClosedReadError(),
      ERROR_INVALID_HANDLE);
}

TEST_P(Reads, AnUnplugEndsAReadAnotherThreadWaitsOnAndEveryLaterOne) {
  CONTRACT_NEEDS_HID_DEVICES();
  HANDLE h = OpenReader(backend->Add({}));
  ExpectAWaitingReadEnds(
      *api, *backend, h, [&] { backend->Unplug(); }, ERROR_DEVICE_NOT_CONNECTED,
      ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(api->CloseHandle(h));
}

TEST_P(Reads, ReadsThatCannotStartSayWhyAndQueueNoRoutine) {
  const std::string path = backend->Add({});
  Read read;
  HANDLE writer = Open(path, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  HANDLE query = Open(path, 0, FILE_FLAG_OVERLAPPED);
  HANDLE reader = OpenReader(path);
  for (HANDLE h : {writer, query}) {
    EXPECT_FALSE(read.Start(*api, h));
    EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  }
  if (backend->HasHidDevices()) {
    EXPECT_FALSE(read.Start(*api, reader, 4));  // shorter than the interface's input report
    EXPECT_EQ(api->GetLastError(), kInvalidUserBuffer);
    // The system reads a handle opened without FILE_FLAG_OVERLAPPED there and then; the
    // services refuse it, as the programs never read one so.
    HANDLE plain = Open(path, GENERIC_READ);
    EXPECT_FALSE(read.Start(*api, plain));
    EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
    api->CloseHandle(plain);
  }
  for (HANDLE h : {writer, query, reader}) EXPECT_TRUE(api->CloseHandle(h));
  EXPECT_FALSE(read.Start(*api, reader));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  EXPECT_EQ(read.calls, 0);
}

TEST_P(Reads, AThreadThatEndsTakesItsPendingReadWithItAndTheReportWaitsForTheNext) {
  HANDLE h = OpenReader(backend->Add({}));
  Read gone;
  std::thread([&] { EXPECT_TRUE(gone.Start(*api, h)); }).join();
  backend->ExpectPendingReads(0);
  backend->Send(kReport);
  Read next;
  ASSERT_TRUE(next.Start(*api, h));
  EXPECT_EQ(api->SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(next.buffer, kReport);
  EXPECT_EQ(gone.calls, 0);
  api->CloseHandle(h);
}

TEST_P(Reads, TheLastErrorBelongsToEachThread) {
  // Two threads in step on flags alone: any system call between could set its own last error.
  std::atomic<int> step{0};
  const auto awaitStep = [&step](int n) {
    while (step != n) std::this_thread::yield();
  };
  DWORD firstKept = 0;
  DWORD secondFound = 1;
  std::thread first([&] {
    api->SetLastError(5);
    step = 1;
    awaitStep(2);
    firstKept = api->GetLastError();
  });
  std::thread second([&] {
    awaitStep(1);
    secondFound = api->GetLastError();
    api->SetLastError(6);
    step = 2;
  });
  first.join();
  second.join();
  EXPECT_EQ(secondFound, 0u);
  EXPECT_EQ(firstKept, 5u);
}

TEST_P(Reads, AQueuedRoutineEndsAnAlertableWaitWithNoReadOutstanding) {
  ASSERT_TRUE(hid::BindKernel32());
  threadwake::ExpectAQueuedRoutineEndsAnAlertableWait(hid::Kernel32());
  hid::ReleaseKernel32();
}

// The reader's loop, as the HID device runs it, against a thread that feeds it reports and then
// unplugs the interface under it.
TEST_P(Reads, AReaderLoopGetsEveryReportInOrderUntilTheInterfaceGoes) {
  CONTRACT_NEEDS_HID_DEVICES();
  HANDLE h = OpenReader(backend->Add({}));
  constexpr int kReports = 300;
  std::vector<int> received;
  std::promise<void> all;
  DWORD endError = 0;
  std::thread reader([&] {
    Read read;
    for (;;) {
      if (!read.Start(*api, h)) {
        endError = api->GetLastError();
        return;
      }
      while (api->SleepEx(INFINITE, TRUE) != WAIT_IO_COMPLETION) {
      }
      DWORD count = 0;
      if (api->GetOverlappedResult(h, &read.overlapped, &count, FALSE) && count == 5) {
        received.push_back(read.buffer[1] | (read.buffer[2] << 8));
        if (received.size() == kReports) all.set_value();
      }
    }
  });
  for (int i = 0; i < kReports; ++i) {
    backend->Send(
        {0, static_cast<std::uint8_t>(i & 0xFF), static_cast<std::uint8_t>(i >> 8), 0, 0});
  }
  all.get_future().wait();
  backend->Unplug();
  reader.join();
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kReports));
  for (int i = 0; i < kReports; ++i) ASSERT_EQ(received[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(endError, ERROR_DEVICE_NOT_CONNECTED);
  api->CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Backends, Reads, ::testing::ValuesIn(AllBackends()), BackendName);

}  // namespace
}  // namespace contract
