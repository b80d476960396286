#include "platform/hidraw/State.h"

#include <atomic>

#include "platform/hidraw/Errors.h"

namespace hidraw::detail {
namespace {

struct StatusPair {
  DWORD error;
  ULONG_PTR status;
};
constexpr StatusPair kStatusOf[] = {
    {ERROR_SUCCESS, kStatusSuccess},           // success
    {ERROR_OPERATION_ABORTED, 0xC0000120},     // cancelled
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D},  // device not connected
    {ERROR_INVALID_HANDLE, 0xC0000008},        // invalid handle
    {ERROR_GEN_FAILURE, 0xC0000001},           // unsuccessful
};

std::uint64_t NextThreadKey() {
  static std::atomic<std::uint64_t> next{0};
  return ++next;
}

// A thread's key and wake descriptor. When the thread ends, its queued routines and the reads it
// left pending go with it, as the system cancels a thread's I/O when the thread goes; their
// OVERLAPPED records are not touched, as they may live on the stack that is going away.
struct ThreadSlot {
  std::uint64_t key = NextThreadKey();
  UniqueFd waker = MakeWakeFd();

  ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.wakers[key] = waker.Get();
  }
  ~ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.apcs.erase(key);
    s.wakers.erase(key);
    std::deque<PendingRead> keep;
    for (PendingRead& read : s.reads) {
      if (read.thread != key) keep.push_back(std::move(read));
    }
    s.reads.swap(keep);
  }
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;
};

ThreadSlot& CurrentSlot() {
  thread_local ThreadSlot slot;
  return slot;
}

}  // namespace

State& TheState() {
  static State* state = new State();  // deliberately never destroyed, see the header
  return *state;
}

std::uint64_t CurrentThreadKey() {
  return CurrentSlot().key;
}
int CurrentThreadWaker() {
  return CurrentSlot().waker.Get();
}

std::shared_ptr<File> FindFileLocked(State& s, HANDLE handle) {
  auto it = s.handles.find(handle);
  if (it == s.handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

const DescriptorCaps* CapsLocked(File& file) {
  if (!file.caps) {
    std::vector<std::uint8_t> bytes;
    const int rc = file.fd.Io().GetDescriptor(file.fd.Get(), bytes);
    if (rc < 0) {
      const DWORD error = ErrorOfErrno(-rc);
      if (error == ERROR_DEVICE_NOT_CONNECTED) file.gone = true;
      SetError(error);
      return nullptr;  // asked again next time: the failure may pass
    }
    file.caps = ParseReportDescriptor(bytes.data(), bytes.size());
  }
  if (!file.caps->valid) {
    SetError(kErrorInvalidData);
    return nullptr;
  }
  return &*file.caps;
}

void CompleteReadLocked(State& s, const PendingRead& read, DWORD error, DWORD bytes) {
  read.overlapped->Internal = StatusOfError(error);
  read.overlapped->InternalHigh = bytes;
  s.apcs[read.thread].push_back({read.routine, error, bytes, read.overlapped});
  auto waker = s.wakers.find(read.thread);
  if (waker != s.wakers.end()) Signal(waker->second);
  s.completed.notify_all();
}

DWORD ErrorOfStatus(ULONG_PTR status) {
  for (const StatusPair& p : kStatusOf) {
    if (p.status == status) return p.error;
  }
  return ERROR_GEN_FAILURE;
}

ULONG_PTR StatusOfError(DWORD error) {
  for (const StatusPair& p : kStatusOf) {
    if (p.error == error) return p.status;
  }
  return 0xC0000001;
}

}  // namespace hidraw::detail
