// The virtual kernel32 file calls where the virtual interfaces have rules of their own: access
// by the interface's setting, paths and handles across plugs, and the input queue. The read
// contract the system keeps is tests/contract's.
#include <set>

#include "VirtualTesting.h"

namespace {

using virtualhid::Access;
using virtualhid::DeviceConfig;

// What a completion routine saw. The OVERLAPPED's event member carries it, as the HID device
// stores itself there.
struct Completion {
  int calls = 0;
  DWORD error = 0xFFFF;
  DWORD bytes = 0xFFFF;
};

void WINAPI Record(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
  auto* c = static_cast<Completion*>(overlapped->hEvent);
  ++c->calls;
  c->error = error;
  c->bytes = bytes;
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

// As the system keeps keyboards and mice: not even read access (the hidraw services give that).
TEST_F(Kernel32Test, AQueryOnlyInterfaceRefusesEveryAccessButNone) {
  DeviceConfig c;
  c.access = Access::QueryOnly;
  auto d = virtualhid::AddDevice(c);
  for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
    EXPECT_EQ(Open(d, access), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api->GetLastError(), ERROR_ACCESS_DENIED);
  }
}

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

TEST_F(Kernel32Test, ReportsAreCutOrPaddedToTheInputLengthAndAWaitingOneCompletesAReadAtOnce) {
  auto d = Reader(4);
  HANDLE h = OpenForReading(d);
  std::array<std::uint8_t, 8> buffer{};
  OVERLAPPED ov{};
  Completion c;
  ov.hEvent = &c;
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 8, &ov, &Record));
  virtualhid::QueueInputReport(d, {0, 9, 8, 7, 6, 5});
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(c.bytes, 4u);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 8>{0, 9, 8, 7, 0, 0, 0, 0}));

  virtualhid::QueueInputReport(d, {0, 1});
  ASSERT_TRUE(api->ReadFileEx(h, buffer.data(), 8, &ov, &Record));
  EXPECT_EQ(ov.Internal, 0u);  // done before the call returns
  EXPECT_EQ(api->SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(buffer[1], 1);
  EXPECT_EQ(buffer[2], 0);

  virtualhid::FailNextCalls("ReadFileEx", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(api->ReadFileEx(h, buffer.data(), 8, &ov, &Record));
  EXPECT_EQ(api->GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(virtualhid::PendingReads(d), 0);
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

}  // namespace
