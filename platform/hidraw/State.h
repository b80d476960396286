// The process-wide state behind the hidraw libraries: the system they run on, open handles,
// pending reads, queued completion routines, device-info sets, preparsed data and the DevInst
// numbers handed out. One lock guards it; completion routines run outside it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/WinTypes.h"
#include "platform/common/Completion.h"
#include "platform/common/DeviceInfoSets.h"
#include "platform/common/HandleTable.h"
#include "platform/common/Preparsed.h"
#include "platform/common/ThreadHandles.h"
#include "platform/hidraw/Descriptor.h"
#include "platform/hidraw/Fd.h"
#include "platform/hidraw/System.h"

namespace hidraw::detail {

// What the services share with the virtual ones, under the names the layers here use.
namespace common = platform::common;
using common::kStatusPending;

// One CreateFileA opening. A pending read and a poll in progress hold it too, so its descriptor
// is closed only once nothing can still be polling it: a number the kernel hands out again
// never reaches a stale poll.
struct File {
  IoFd fd;
  DWORD access = 0;
  bool overlapped = false;
  std::optional<InterfaceInfo> info;   // none when the directory did not know the node
  ULONG numInputBuffers = 32;          // remembered only: hidraw keeps its own queue
  std::optional<DescriptorCaps> caps;  // read and parsed on first need
  bool gone = false;                   // the device went away under this handle
};

struct PendingRead : common::ReadRequest {
  std::shared_ptr<File> file;  // the handle's opening, kept while the read is polled
};

// One interface as a device-info set saw it when it was made.
struct SetMember {
  InterfaceInfo info;
  DWORD devInst;
};

struct State {
  std::mutex mutex;
  std::condition_variable completed;  // a read ended

  System system;  // empty while the libraries are not registered
  common::HandleTable<std::shared_ptr<File>> handles{0x6D000000};
  std::deque<PendingRead> reads;  // oldest first
  common::ApcQueues apcs;
  common::ThreadHandles threads{0x6C000000};
  std::map<std::uint64_t, int> wakers;  // each thread's wake descriptor, owned by the thread
  common::DeviceInfoSets<SetMember> sets{0x5D700000};
  common::PreparsedTable preparsed;
  std::map<std::string, DWORD> devInsts;  // by interface identity

  DWORD nextDevInst = 0x2000;
};

// The one state object. It is never destroyed, so reader threads and thread-exit cleanup may
// still reach it while the program ends.
State& TheState();
using Lock = std::unique_lock<std::mutex>;

// A key for the calling thread that no later thread gets again. The first call makes the
// thread's wake descriptor and registers it.
std::uint64_t CurrentThreadKey();
// The calling thread's wake descriptor (-1 if none could be made).
int CurrentThreadWaker();

// The open file behind a handle, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<File> FindFileLocked(State& s, HANDLE handle);

// The file's parsed descriptor, read through its descriptor on first use; null (with the error
// set) when it cannot be read.
const DescriptorCaps* CapsLocked(File& file);

// Completes one read: its OVERLAPPED gets status and count, its routine is queued for its
// thread, and that thread is woken.
void CompleteReadLocked(State& s, const PendingRead& read, DWORD error, DWORD bytes);

// Ends every pending read that `match` selects with 0 bytes and `error`.
template <class Match>
void EndReadsLocked(State& s, Match match, DWORD error) {
  for (const PendingRead& read : common::TakeReads(s.reads, match)) {
    CompleteReadLocked(s, read, error, 0);
  }
}

// Waits up to `milliseconds` (INFINITE: no limit) for the calling thread's pending reads and
// completes those that can be; returns early when a routine was queued for the thread or it was
// woken. Runs no routine. Blocks in poll: never spins.
void ServiceOwnReads(DWORD milliseconds);

}  // namespace hidraw::detail
