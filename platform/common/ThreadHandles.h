// Thread handles as OpenThread hands them out and QueueUserAPC takes them, and the live threads
// they may name. A routine queued through one runs inside that thread's next alertable wait,
// which is how a thread waiting with no read outstanding is woken. Not locked: the backend's lock
// guards it with the routine queues.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>

#include "platform/common/Completion.h"
#include "platform/common/HandleTable.h"

namespace platform::common {

class ThreadHandles {
 public:
  explicit ThreadHandles(std::uintptr_t firstHandle) : open_(firstHandle) {}

  // The backends' per-thread records come and go with their threads.
  void Started(std::uint64_t thread) { live_.insert(thread); }
  // Handles to the thread stay open, but nothing can be queued through them any more.
  void Ended(std::uint64_t thread) { live_.erase(thread); }

  // OpenThread: a new handle to a live thread; null with the error set otherwise.
  HANDLE Open(DWORD threadId);
  // QueueUserAPC: queues `routine` for the thread behind `handle`. The thread key through
  // `thread`, so the backend can wake it; false with the error set when nothing was queued.
  bool Queue(ApcQueues& apcs, HANDLE handle, PAPCFUNC routine, ULONG_PTR parameter,
             std::uint64_t& thread);
  // CloseHandle: true when the handle was one of these (and is closed now).
  bool Close(HANDLE handle) { return open_.Remove(handle); }

 private:
  std::set<std::uint64_t> live_;
  HandleTable<std::uint64_t> open_;  // each handle's thread
};

// A backend's side of OpenThread and QueueUserAPC: the lock that guards its queues and thread
// handles, and how it wakes a thread whose queue has grown (called with the lock held).
struct ThreadCalls {
  std::mutex& mutex;
  ApcQueues& apcs;
  ThreadHandles& threads;
  void (*wake)(std::uint64_t thread);
};

HANDLE ServeOpenThread(DWORD threadId, const ThreadCalls& backend);
DWORD ServeQueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR parameter,
                        const ThreadCalls& backend);

}  // namespace platform::common
