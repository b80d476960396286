#include "platform/hidraw/State.h"

#include "platform/common/ThreadSlot.h"
#include "platform/hidraw/Errors.h"

namespace hidraw::detail {
namespace {

// A thread's key and wake descriptor. When the thread ends, its queued routines and the reads it
// left pending go with it, as the system cancels a thread's I/O when the thread goes; their
// OVERLAPPED records are not touched, as they may live on the stack that is going away.
struct ThreadSlot {
  std::uint64_t key = common::NextThreadKey();
  UniqueFd waker = MakeWakeFd();

  ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.wakers[key] = waker.Get();
    s.threads.Started(key);
  }
  ~ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.threads.Ended(key);
    s.apcs.Forget(key);
    s.wakers.erase(key);
    common::TakeReads(s.reads, [this](const PendingRead& read) { return read.thread == key; });
  }
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;
};

}  // namespace

State& TheState() {
  static State* state = new State();  // deliberately never destroyed, see the header
  return *state;
}

std::uint64_t CurrentThreadKey() {
  return common::ThisThreadSlot<ThreadSlot>().key;
}
int CurrentThreadWaker() {
  return common::ThisThreadSlot<ThreadSlot>().waker.Get();
}

std::shared_ptr<File> FindFileLocked(State& s, HANDLE handle) {
  const std::shared_ptr<File>* file = s.handles.Find(handle);
  if (file == nullptr) {
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return *file;
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
  common::CompleteRead(s.apcs, read, error, bytes);
  auto waker = s.wakers.find(read.thread);
  if (waker != s.wakers.end()) Signal(waker->second);
  s.completed.notify_all();
}

}  // namespace hidraw::detail
