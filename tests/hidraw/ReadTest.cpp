// Overlapped reads over the fake device calls where hidraw differs from the system's layout:
// report IDs, and descriptors that a poll may still hold. The rest of the read contract is
// tests/contract's.
#include <thread>
#include <vector>

#include "tests/hidraw/HidrawTesting.h"

namespace {

using hidrawtest::DrawerConfig;
using hidrawtest::HidrawTest;

struct Completion {
  DWORD error = 0xFFFFFFFFu;
  DWORD bytes = 0;
};

void WINAPI OnRead(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
  auto* c = static_cast<Completion*>(overlapped->hEvent);
  c->error = error;
  c->bytes = bytes;
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
};

TEST_F(HidrawTest, NumberedReportsKeepTheirIdAndArriveAtTheFullInputLength) {
  hidraw::fake::DeviceConfig config = DrawerConfig();
  config.descriptor = hidraw::descriptors::kKeyboardWithConsumer;  // input length 9
  const auto keyboard = fake->Add(config);
  HANDLE h = Open(keyboard, GENERIC_READ, FILE_FLAG_OVERLAPPED);
  Read read(9);
  ASSERT_TRUE(read.Start(*api, h));
  fake->QueueInput(keyboard, {0x02, 0xE9, 0x00});  // report 2: a 16-bit consumer usage
  EXPECT_EQ(api->SleepEx(10000, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(read.completion.bytes, 9u);
  EXPECT_EQ(read.buffer, (std::vector<BYTE>{0x02, 0xE9, 0x00, 0, 0, 0, 0, 0, 0}));
  api->CloseHandle(h);
}

TEST_F(HidrawTest, ClosingTheHandleWhileAReadIsPolledKeepsTheDescriptorUntilThePollEnds) {
  // Many rounds of a reader polling while another thread closes: the descriptor must never be
  // closed under a poll (which would let a new opening reuse its number).
  const auto drawer = fake->Add(DrawerConfig());
  for (int round = 0; round < 50; ++round) {
    HANDLE h = Open(drawer, GENERIC_READ, FILE_FLAG_OVERLAPPED);
    Read read(5);
    std::thread reader([&] {
      EXPECT_TRUE(read.Start(*api, h));
      EXPECT_EQ(api->SleepEx(10000, TRUE), WAIT_IO_COMPLETION);
    });
    fake->AwaitPoller();
    api->CloseHandle(h);
    reader.join();
    EXPECT_EQ(read.completion.error, ERROR_OPERATION_ABORTED);
  }
}

}  // namespace
