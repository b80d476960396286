// Overlapped reads of input reports over the fake device calls, with real threads: completion
// routines run on the issuing thread inside its alertable SleepEx; cancellation, closing and
// unplugging end a read with 0 bytes and an error; waiting costs no processor time.
#include <time.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "hid/Kernel32.h"
#include "tests/hid/ThreadWake.h"
#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidrawtest::DrawerConfig;
using hidrawtest::HidrawTest;
using Clock = std::chrono::steady_clock;

struct Completion {
  DWORD error = 0xFFFFFFFFu;
  DWORD bytes = 0;
  int calls = 0;
  std::thread::id thread;
};

void WINAPI OnRead(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
  auto* c = static_cast<Completion*>(overlapped->hEvent);
  c->error = error;
  c->bytes = bytes;
  c->thread = std::this_thread::get_id();
  ++c->calls;
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// One overlapped read, as the device's reader thread makes it.
struct Read {
  std::vector<BYTE> buffer;
  OVERLAPPED overlapped{};
  Completion completion;

  explicit Read(std::size_t size) : buffer(size, 0xEE) { overlapped.hEvent = &completion; }
  bool Start(hidrawtest::Api& api, HANDLE h) {
    return api.ReadFileEx(h, buffer.data(), static_cast<DWORD>(buffer.size()), &overlapped,
                          &OnRead) != 0;
  }
  // Alertable waits of `slice` ms until a routine ran or `limit` passed; the last result.
  DWORD Wait(hidrawtest::Api& api, DWORD slice = 50,
             std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = Clock::now() + limit;
    DWORD last = 0;
    while (last != WAIT_IO_COMPLETION && Clock::now() < end) last = api.SleepEx(slice, TRUE);
    return last;
  }
};

class HidrawReads : public HidrawTest {
 protected:
  hidraw::fake::FakeSystem::DeviceId drawer = -1;
  void SetUp() override {
    HidrawTest::SetUp();
    drawer = fake->Add(DrawerConfig());
  }
  HANDLE OpenReader() { return Open(drawer, GENERIC_READ, FILE_FLAG_OVERLAPPED); }
};

TEST_F(HidrawReads, AReportCompletesTheReadOnTheIssuingThreadInsideItsAlertableSleep) {
  std::promise<void> started;
  DWORD result = 0;
  DWORD transferred = 0;
  BOOL overlappedResult = FALSE;
  Read read(5);
  std::thread::id readerId;
  std::thread reader([&] {
    readerId = std::this_thread::get_id();
    HANDLE h = OpenReader();
    EXPECT_TRUE(read.Start(*api, h));
    started.set_value();
    result = read.Wait(*api);
    overlappedResult = api->GetOverlappedResult(h, &read.overlapped, &transferred, FALSE);
    api->CloseHandle(h);
  });
  started.get_future().wait();
  fake->QueueInput(drawer, {0x11, 0x22, 0x33, 0x44});
  reader.join();
  EXPECT_EQ(result, WAIT_IO_COMPLETION);
  EXPECT_EQ(read.completion.calls, 1);
  EXPECT_EQ(read.completion.thread, readerId);
  EXPECT_EQ(read.completion.error, ERROR_SUCCESS);
  EXPECT_EQ(read.completion.bytes, 5u);
  EXPECT_TRUE(overlappedResult);
  EXPECT_EQ(transferred, 5u);
  // The device numbers no reports: Windows puts a 0 in front of the four bytes.
  EXPECT_EQ(read.buffer, (std::vector<BYTE>{0, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(HidrawReads, NumberedReportsKeepTheirIdAndArriveAtTheFullInputLength) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.descriptor = hidraw::descriptors::kKeyboardWithConsumer;  // input length 9
  const auto keyboard = fake->Add(config);
  HANDLE h = Open(keyboard, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  Read read(9);
  ASSERT_TRUE(read.Start(*api, h));
  fake->QueueInput(keyboard, {0x02, 0xE9, 0x00});  // report 2: a 16-bit consumer usage
  EXPECT_EQ(read.Wait(*api), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.completion.bytes, 9u);
  EXPECT_EQ(read.buffer, (std::vector<BYTE>{0x02, 0xE9, 0x00, 0, 0, 0, 0, 0, 0}));
  api->CloseHandle(h);
}

TEST_F(HidrawReads, AReportAlreadyWaitingCompletesAtTheNextAlertableSleep) {
  HANDLE h = OpenReader();
  fake->QueueInput(drawer, {1, 2, 3, 4});
  fake->QueueInput(drawer, {5, 6, 7, 8});
  Read first(5);
  ASSERT_TRUE(first.Start(*api, h));
  EXPECT_EQ(api->SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(first.buffer, (std::vector<BYTE>{0, 1, 2, 3, 4}));
  Read second(5);
  ASSERT_TRUE(second.Start(*api, h));
  EXPECT_EQ(api->SleepEx(1000, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(second.buffer, (std::vector<BYTE>{0, 5, 6, 7, 8}));
  api->CloseHandle(h);
}

TEST_F(HidrawReads, AnAlertableSleepWithNothingToDoWaitsItsTimeWithoutSpinning) {
  HANDLE h = OpenReader();
  Read read(5);
  ASSERT_TRUE(read.Start(*api, h));
  for (bool withRead : {true, false}) {
    if (!withRead) {
      EXPECT_TRUE(api->CancelIo(h));
      EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
    }
    const auto start = Clock::now();
    const double cpu = ThreadCpuMs();
    EXPECT_EQ(api->SleepEx(200, TRUE), 0u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(195));
    EXPECT_LT(ThreadCpuMs() - cpu, 50.0);
  }
  EXPECT_EQ(api->SleepEx(0, TRUE), 0u);
  api->CloseHandle(h);
}

TEST_F(HidrawReads, CancelIoEndsTheCallingThreadsReadWithOperationAborted) {
  HANDLE h = OpenReader();
  Read read(5);
  ASSERT_TRUE(read.Start(*api, h));
  DWORD n = 99;
  EXPECT_FALSE(api->GetOverlappedResult(h, &read.overlapped, &n, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_IO_INCOMPLETE);
  EXPECT_TRUE(api->CancelIo(h));
  EXPECT_EQ(read.completion.calls, 0);  // routines run only in an alertable wait
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.completion.error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(read.completion.bytes, 0u);
  EXPECT_FALSE(api->GetOverlappedResult(h, &read.overlapped, &n, FALSE));
  EXPECT_EQ(api->GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(n, 0u);
  api->CloseHandle(h);
  EXPECT_FALSE(api->CancelIo(h));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(HidrawReads, CancelIoFromAnotherThreadLeavesTheReadAlone) {
  HANDLE h = OpenReader();
  Read read(5);
  ASSERT_TRUE(read.Start(*api, h));
  std::thread([&] { EXPECT_TRUE(api->CancelIo(h)); }).join();
  EXPECT_EQ(api->SleepEx(30, TRUE), 0u);
  EXPECT_EQ(read.completion.calls, 0);
  EXPECT_EQ(hidraw::PendingReads(), 1);
  EXPECT_TRUE(api->CancelIo(h));
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  api->CloseHandle(h);
}

TEST_F(HidrawReads, ClosingTheHandleFromAnotherThreadEndsTheWaitAtOnce) {
  HANDLE h = OpenReader();
  std::promise<void> started;
  Read read(5);
  DWORD result = 0;
  Clock::duration waited{};
  std::thread reader([&] {
    EXPECT_TRUE(read.Start(*api, h));
    started.set_value();
    const auto start = Clock::now();
    result = api->SleepEx(20000, TRUE);
    waited = Clock::now() - start;
  });
  started.get_future().wait();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(api->CloseHandle(h));
  reader.join();
  EXPECT_EQ(result, WAIT_IO_COMPLETION);
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(read.completion.error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(read.completion.bytes, 0u);
}

TEST_F(HidrawReads, AnUnpluggedDeviceEndsTheReadWithDeviceNotConnected) {
  HANDLE h = OpenReader();
  std::promise<void> started;
  Read read(5);
  DWORD result = 0;
  std::thread reader([&] {
    EXPECT_TRUE(read.Start(*api, h));
    started.set_value();
    result = api->SleepEx(20000, TRUE);
  });
  started.get_future().wait();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  fake->Unplug(drawer);
  reader.join();
  EXPECT_EQ(result, WAIT_IO_COMPLETION);
  EXPECT_EQ(read.completion.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(read.completion.bytes, 0u);
  // The next read cannot start: the reader reports it instead of spinning on empty reads.
  Read next(5);
  EXPECT_FALSE(next.Start(*api, h));
  EXPECT_EQ(api->GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  api->CloseHandle(h);
}

TEST_F(HidrawReads, GetOverlappedResultCanWaitForTheReportWithoutRunningTheRoutine) {
  HANDLE h = OpenReader();
  Read read(5);
  ASSERT_TRUE(read.Start(*api, h));
  std::thread feeder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    fake->QueueInput(drawer, {9, 8, 7, 6});
  });
  DWORD n = 0;
  EXPECT_TRUE(api->GetOverlappedResult(h, &read.overlapped, &n, TRUE));
  feeder.join();
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(read.completion.calls, 0);
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);  // the routine is still due
  EXPECT_EQ(read.completion.calls, 1);
  api->CloseHandle(h);
}

TEST_F(HidrawReads, ReadsThatCannotStart) {
  Read read(5);
  HANDLE sync = Open(drawer);
  EXPECT_FALSE(read.Start(*api, sync));  // not opened for overlapped I/O
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE query = Open(drawer, 0, FILE_FLAG_OVERLAPPED);
  EXPECT_FALSE(read.Start(*api, query));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE writer = Open(drawer, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  EXPECT_FALSE(read.Start(*api, writer));
  EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE reader = OpenReader();
  Read small(4);  // shorter than the input report length
  EXPECT_FALSE(small.Start(*api, reader));
  EXPECT_EQ(api->GetLastError(), hidraw::kErrorInvalidUserBuffer);
  EXPECT_EQ(hidraw::PendingReads(), 0);
  for (HANDLE h : {sync, query, writer, reader}) api->CloseHandle(h);
  EXPECT_FALSE(read.Start(*api, reader));
  EXPECT_EQ(api->GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(HidrawReads, AThreadThatEndsTakesItsPendingReadsWithIt) {
  HANDLE h = OpenReader();
  Read read(5);
  std::thread([&] { ASSERT_TRUE(read.Start(*api, h)); }).join();
  EXPECT_EQ(hidraw::PendingReads(), 0);
  EXPECT_EQ(read.completion.calls, 0);
  api->CloseHandle(h);
}

TEST_F(HidrawReads, ClosingTheHandleWhileAReadIsPolledKeepsTheDescriptorUntilThePollEnds) {
  // Many rounds of a reader waiting while another thread closes: the descriptor must never be
  // closed under a poll (which would let a new opening reuse its number).
  for (int round = 0; round < 50; ++round) {
    HANDLE h = OpenReader();
    Read read(5);
    std::atomic<bool> ready{false};
    std::thread reader([&] {
      EXPECT_TRUE(read.Start(*api, h));
      ready = true;
      read.Wait(*api, 5, std::chrono::seconds(5));
    });
    while (!ready) std::this_thread::yield();
    api->CloseHandle(h);
    reader.join();
    EXPECT_EQ(read.completion.error, ERROR_OPERATION_ABORTED);
  }
}

TEST_F(HidrawTest, AQueuedRoutineEndsAnAlertableWaitWithNoReadOutstanding) {
  ASSERT_TRUE(hid::BindKernel32());
  threadwake::ExpectAQueuedRoutineEndsAnAlertableWait(hid::Kernel32());
  hid::ReleaseKernel32();
}

}  // namespace
