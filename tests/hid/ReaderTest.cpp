// The input-report reader on real threads: delivery on the GUI thread, stopping during a wait,
// during a rest and during a delivery, read errors and the rest between them, and the reader of a
// device whose controller goes first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "hid/HidControllerClass.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Thread.h"
#include "platform/virtual/VirtualHid.h"
#include "tests/Pump.h"

namespace {

using hid::THidDevice;
using Clock = std::chrono::steady_clock;
using till_testing::PumpUntil;

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
  void SetUp() override { Start(virtualhid::ReadyDrawer()); }
  void Start(const virtualhid::DeviceConfig& config) {
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    id = virtualhid::AddDevice(config);
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
  // Waits, without serving it, until the reader hands something over to the GUI thread.
  static bool DeliveryWaiting() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!host::SynchronizePending() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return host::SynchronizePending();
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
  // The reader has taken the report and asks for its delivery before the stop comes. Not pumped
  // meanwhile: the delivery is to run inside the stop.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  ASSERT_TRUE(DeliveryWaiting());
  // The handler then holds the GUI thread inside the stop; a helper lets it go once it has seen
  // it running and the stop still waiting. The stop must serve the delivery, not deadlock on it.
  std::atomic<bool> stopReturned{false};
  std::atomic<bool> stopWaitedForHandler{false};
  std::thread releaser([&] {
    while (!sink.inHandler && Clock::now() < deadline) std::this_thread::yield();
    stopWaitedForHandler = sink.inHandler && !stopReturned;
    sink.releaseHandler = true;
  });
  device->SetOnData(nullptr);
  stopReturned = true;
  releaser.join();
  EXPECT_TRUE(stopWaitedForHandler);
  EXPECT_EQ(device->Reader(), nullptr);
  EXPECT_FALSE(sink.inHandler);
  EXPECT_EQ(sink.reports.size(), 1u);
}

TEST_F(Reader, ReadsThatCannotStartAreReportedOnlyWhenSomebodyListens) {
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  device->Unplug();  // its reads can no longer start
  // The first failure is handed to the GUI thread; with OnReadError empty it must reach nobody,
  // and the data handler least of all.
  ASSERT_TRUE(DeliveryWaiting());
  app.ProcessMessages();
  EXPECT_TRUE(sink.errors.empty());
  EXPECT_TRUE(sink.reports.empty());
  device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return sink.errors.size() >= 3; }));
  EXPECT_NE(sink.errors[0], 0u);
  device->SetOnData(nullptr);
}

// Each way a pass can bring nothing: the reader reports it, then rests one slice before it tries
// again, instead of coming straight back to the same failure and keeping a core busy.
struct NothingToRead {
  const char* name;
  void (*arrange)(virtualhid::DeviceConfig& config);  // before the device is built
  void (*beforeReading)(virtualhid::DeviceId id);     // once it is checked out
};

constexpr NothingToRead kNothingToRead[] = {
    {"NoInputReport", [](virtualhid::DeviceConfig& c) { c.inputReportLength = 0; },
     [](virtualhid::DeviceId) {}},
    {"ReadRefused", [](virtualhid::DeviceConfig&) {},
     [](virtualhid::DeviceId) {
       virtualhid::FailNextCalls("ReadFileEx", 1000000, ERROR_ACCESS_DENIED);
     }},
    // Pulled out before the reader's first read; the controller hears of it while it runs.
    {"UnpluggedWhileCheckedOut", [](virtualhid::DeviceConfig&) {},
     [](virtualhid::DeviceId id) { virtualhid::Unplug(id); }},
};

void PrintTo(const NothingToRead& cause, std::ostream* out) {
  *out << cause.name;
}

class ReaderWithNothingToRead : public Reader, public ::testing::WithParamInterface<NothingToRead> {
 protected:
  void SetUp() override {
    virtualhid::DeviceConfig config = virtualhid::ReadyDrawer();
    GetParam().arrange(config);
    Start(config);
    GetParam().beforeReading(id);
    device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink));
  }
  void StartReading() { device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink)); }
};

TEST_P(ReaderWithNothingToRead, RestsASliceBetweenFailedPasses) {
  device->SetSleepTime(50);
  const auto start = Clock::now();
  StartReading();
  ASSERT_TRUE(PumpUntil([&] { return sink.errors.size() >= 3; }));
  // Three reports are two rests apart at the least; without them they come within microseconds.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_NE(sink.errors[0], 0u);
}

TEST_P(ReaderWithNothingToRead, StopEndsTheRestAtOnce) {
  device->SetSleepTime(10000);
  StartReading();
  ASSERT_TRUE(PumpUntil([&] { return !sink.errors.empty(); }));
  const auto start = Clock::now();
  device->SetOnData(nullptr);
  // Nothing outstanding to cancel here: only the stop's own wake ends a ten-second rest early.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(device->Reader(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Causes, ReaderWithNothingToRead, ::testing::ValuesIn(kNothingToRead),
                         [](const auto& param) { return std::string(param.param.name); });

class ReaderWithoutInputReports : public Reader {
 protected:
  void SetUp() override {
    virtualhid::DeviceConfig config = virtualhid::ReadyDrawer();
    config.inputReportLength = 0;
    Start(config);
  }
};

TEST_F(ReaderWithoutInputReports, FeatureReportsStillWorkWhileTheReaderRests) {
  device->SetOnReadError(hid::THidDataErrorEvent::Of<&Sink::Error>(&sink));
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return !sink.errors.empty(); }));
  // The open command: write memory address 79 with 0.
  BYTE open[5] = {0, 'W', 79, 0, 'W' ^ 79};
  EXPECT_TRUE(device->WriteReport(open, sizeof open));
  EXPECT_EQ(virtualhid::DrawerOpens(id), 1);
}

// Services of a device whose reader can be held between its look at the stop flag and the start
// of its next read, to land a stop exactly there.
struct HeldReader {
  static inline PFN_HidP_GetCaps realGetCaps = nullptr;
  static inline PFN_ReadFileEx realReadFileEx = nullptr;
  static inline PFN_QueueUserAPC realQueueUserAPC = nullptr;
  static inline std::atomic<bool> holdNext{false};
  static inline std::atomic<bool> held{false};
  static inline std::atomic<int> wakes{0};
  static inline std::atomic<int> readsStarted{0};

  static NTSTATUS WINAPI GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) {
    if (!host::IsMainThread() && holdNext.exchange(false)) {
      held = true;
      // Until the stop has done its part; bounded, so a reader that is never woken still ends.
      const auto deadline = Clock::now() + std::chrono::seconds(3);
      while (wakes == 0 && Clock::now() < deadline) std::this_thread::yield();
    }
    return realGetCaps(data, caps);
  }
  static BOOL WINAPI ReadFileEx(HANDLE file, LPVOID buffer, DWORD count, LPOVERLAPPED overlapped,
                                LPOVERLAPPED_COMPLETION_ROUTINE completion) {
    ++readsStarted;
    return realReadFileEx(file, buffer, count, overlapped, completion);
  }
  static DWORD WINAPI QueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR data) {
    ++wakes;
    return realQueueUserAPC(routine, thread, data);
  }
};

TEST_F(Reader, StopBetweenTheFlagCheckAndTheReadStartsNoRead) {
  hid::HidServices services = hid::BoundHidServices();
  HeldReader::realGetCaps = services.GetCaps;
  HeldReader::realReadFileEx = services.kernel32.ReadFileEx;
  HeldReader::realQueueUserAPC = services.kernel32.QueueUserAPC;
  HeldReader::wakes = 0;
  HeldReader::readsStarted = 0;
  services.GetCaps = &HeldReader::GetCaps;
  services.kernel32.ReadFileEx = &HeldReader::ReadFileEx;
  services.kernel32.QueueUserAPC = &HeldReader::QueueUserAPC;
  auto info =
      std::make_unique<hid::THidPnPInfo>(virtualhid::DevInst(id), virtualhid::DevicePath(id));
  THidDevice held(std::move(info), nullptr, services);
  held.SetSleepTime(10000);
  held.SetCheckedOut(true);
  held.SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return HeldReader::readsStarted == 1; }));
  // One report ends the first read; the next pass is held at its first look at the capabilities,
  // past the loop's check of the flag.
  HeldReader::holdNext = true;
  virtualhid::QueueInputReport(id, {0x00, 1, 2, 3, 4});
  ASSERT_TRUE(PumpUntil([&] { return HeldReader::held.load(); }));
  const auto start = Clock::now();
  held.SetOnData(nullptr);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(HeldReader::readsStarted, 1);
  EXPECT_EQ(sink.reports.size(), 1u);
}

TEST_F(Reader, ControllerDestructionStopsTheReaderOfADeviceStillCheckedOut) {
  device->SetOnData(hid::THidDataEvent::Of<&Sink::Data>(&sink));
  ASSERT_TRUE(PumpUntil([&] { return virtualhid::PendingReads(id) == 1; }));
  delete controller;
  controller = nullptr;
  // Nothing of the device may call into the released libraries after this.
  EXPECT_EQ(device->Reader(), nullptr);
  EXPECT_EQ(virtualhid::PendingReads(id), 0);
  EXPECT_EQ(virtualhid::PreparsedDataAlive(), 0);
  EXPECT_EQ(virtualhid::OpenHandles(), 0);
  EXPECT_FALSE(device->PluggedIn());
}

}  // namespace
