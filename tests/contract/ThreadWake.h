// How a thread waiting alertably with nothing outstanding is woken: its own handle, a routine
// queued through it. Checked on every set of kernel32 calls the HID layer can be bound to.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "hid/Kernel32.h"

namespace threadwake {

struct Ran {
  static inline std::atomic<ULONG_PTR> parameter{0};
  static inline std::atomic<bool> onWaiter{false};
  static inline std::thread::id waiter;
  static void WINAPI Routine(ULONG_PTR value) {
    parameter = value;
    onWaiter = std::this_thread::get_id() == waiter;
  }
};

inline void ExpectAQueuedRoutineEndsAnAlertableWait(const hid::Kernel32Calls& k) {
  ASSERT_TRUE(k.CanWakeThreads());
  Ran::parameter = 0;
  Ran::onWaiter = false;
  std::atomic<DWORD> id{0};
  std::atomic<DWORD> result{0};
  const auto start = std::chrono::steady_clock::now();
  std::thread waiter([&] {
    id = k.GetCurrentThreadId();
    result = k.SleepEx(10000, TRUE);
  });
  Ran::waiter = waiter.get_id();
  while (id == 0) std::this_thread::yield();
  HANDLE thread = k.OpenThread(THREAD_SET_CONTEXT, FALSE, id);
  ASSERT_NE(thread, nullptr);
  // Queued before or during the wait alike: the wait ends by running it.
  EXPECT_NE(k.QueueUserAPC(&Ran::Routine, thread, 42), 0u);
  waiter.join();
  EXPECT_EQ(result, WAIT_IO_COMPLETION);
  EXPECT_EQ(Ran::parameter, 42u);
  EXPECT_TRUE(Ran::onWaiter);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(k.CloseHandle(thread), FALSE);
}

}  // namespace threadwake
