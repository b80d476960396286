// The input-report reader on real threads: delivery on the GUI thread, stopping during a wait
// and during a delivery, and read errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "hid/HidControllerClass.h"
#include "host/Forms.h"
#include "host/Messages.h"
#include "host/Thread.h"
#include "platform/virtual/VirtualHid.h"

namespace {

using hid::THidDevice;
using Clock = std::chrono::steady_clock;

struct Sink : host::TComponent {
  using host::TComponent::TComponent;
  std::vector<std::vector<BYTE>> reports;
  std::vector<BYTE> ids;
  std::vector<DWORD> errors;
  bool onGuiThread = true;
  bool blockInHandler = false;
  std::atomic<bool> inHandler{false};
  std::atomic<bool> releaseHandler{false};
  void Data(THidDevice*, BYTE id, const void* data, WORD size) {
    onGuiThread = onGuiThread && host::IsMainThread();
    ids.push_back(id);
    const BYTE* bytes = static_cast<const BYTE*>(data);
    reports.emplace_back(bytes, bytes + size);
    if (blockInHandler) {
      inHandler = true;
      while (!releaseHandler) std::this_thread::yield();
      inHandler = false;
    }
  }
  void Error(THidDevice*, DWORD error) { errors.push_back(error); }
};

class Reader : public ::testing::Test {
 protected:
  void SetUp() override {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    id = virtualhid::AddDevice(virtualhid::ReadyDrawer());
    controller = new hid::THidDeviceController(nullptr);
    controller->SetDevThreadSleepTime(20);
    app.ProcessMessages();
    ASSERT_TRUE(controller->CheckOutFirst(device));
    device->SetSleepTime(20);
  }
  void TearDown() override {
    delete device;
    delete controller;
    virtualhid::Reset();
  }
  // Serves the loop until `done` holds or a generous deadline passes.
  template <class Done>
  bool PumpUntil(Done done) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < deadline) {
      app.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }

  host::TApplication app;
  virtualhid::DeviceId id = virtualhid::kNoDevice;
  hid::THidDeviceController* controller = nullptr;
  THidDevice* device = nullptr;
  Sink sink{nullptr};
};

TEST_F(Reader, InputReportArrivesOnTheGuiThreadWithoutItsIdByte) {
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_NE(device->Reader(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  virtualhid::QueueInputReport(id, {0x00, 0x11, 0x22, 0x33, 0x44});
  virtualhid::QueueInputReport(id, {0x00, 0x55, 0x66, 0x77, 0x88});
  ASSERT_TRUE(PumpUntil([&] { return sink.reports.size() == 2; }));
  EXPECT_EQ(sink.ids, (std::vector<BYTE>{0, 0}));
  EXPECT_EQ(sink.reports[0], (std::vector<BYTE>{0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(sink.reports[1], (std::vector<BYTE>{0x55, 0x66, 0x77, 0x88}));
  EXPECT_TRUE(sink.onGuiThread);
}

TEST_F(Reader, StopDuringAWaitEndsWithinTheSleepTimeAndCancelsTheRead) {
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  auto start = Clock::now();
  device->SetOnData(nullptr);
  auto took = Clock::now() - start;
  EXPECT_EQ(device->Reader(), nullptr);
  EXPECT_EQ(virtualhid::PendingReads(id), 0);
  // One 20 ms slice at most; the margin is for a loaded machine, not for the design.
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(Reader, StopDoesNotWaitOutALongSleepTime) {
  device->SetSleepTime(10000);
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // well inside its wait now
  auto start = Clock::now();
  device->SetOnData(nullptr);
  auto took = Clock::now() - start;
  EXPECT_EQ(virtualhid::PendingReads(id), 0);
  // The outstanding read is ended for it, so the ten-second slice is not waited out.
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  // The read handle and its buffer count stay as they were for the next reader.
  EXPECT_TRUE(device->AsyncHandleOpen(hid::TAsyncDirection::Read));
}

TEST_F(Reader, StopWhileAHandlerRunsWaitsForTheHandler) {
  sink.blockInHandler = true;
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  virtualhid::QueueInputReport(id, {0x00, 1, 2, 3, 4});
  // Let the reader take the report and ask for its delivery before the stop comes.
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  // The handler holds the GUI thread; a helper releases it a little later while the GUI thread
  // is inside the stop, which must serve the delivery rather than deadlock on it.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sink.releaseHandler = true;
  });
  auto start = Clock::now();
  device->SetOnData(nullptr);
  auto took = Clock::now() - start;
  releaser.join();
  EXPECT_EQ(device->Reader(), nullptr);
  EXPECT_FALSE(sink.inHandler);
  EXPECT_EQ(sink.reports.size(), 1u);
  EXPECT_GE(took, std::chrono::milliseconds(40));
}

TEST_F(Reader, ReadsThatCannotStartAreReportedOnlyWhenSomebodyListens) {
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  device->Unplug();  // its reads can no longer start
  // Silent while OnReadError is empty.
  for (int i = 0; i < 20; ++i) app.ProcessMessages();
  EXPECT_TRUE(sink.errors.empty());
  device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return sink.errors.size() >= 3; }));
  EXPECT_NE(sink.errors[0], 0u);
  device->SetOnData(nullptr);
}

}  // namespace
