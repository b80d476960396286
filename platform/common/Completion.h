// How an overlapped read ends: its OVERLAPPED gets the status and the count, and its completion
// routine is queued for the thread that issued it, to run inside that thread's next alertable
// wait. How a read gets its data is the backend's own.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "hid/WinTypes.h"

namespace platform::common {

// NTSTATUS values kept in OVERLAPPED.Internal, as the system keeps them there.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x00000103;

// The system error code of a status kept in OVERLAPPED.Internal, and the reverse.
DWORD ErrorOfStatus(ULONG_PTR status);
ULONG_PTR StatusOfError(DWORD error);

// One ReadFileEx waiting for its report.
struct ReadRequest {
  HANDLE handle;
  std::uint64_t thread;  // the issuing thread's key: its routine runs there
  OVERLAPPED* overlapped;
  BYTE* buffer;
  DWORD count;
  LPOVERLAPPED_COMPLETION_ROUTINE routine;
};

// A completion routine with its arguments, as queued for a thread; or, with `routine` null, a
// routine queued by QueueUserAPC with its parameter.
struct Apc {
  LPOVERLAPPED_COMPLETION_ROUTINE routine;
  DWORD error;
  DWORD bytes;
  OVERLAPPED* overlapped;
  PAPCFUNC userRoutine = nullptr;
  ULONG_PTR parameter = 0;
};

// The routines queued for each thread, by thread key. Not locked: the backend's lock guards it
// with the rest of its state; the routines run outside that lock.
class ApcQueues {
 public:
  void Queue(std::uint64_t thread, const Apc& apc) { queues_[thread].push_back(apc); }
  // Moves the thread's queued routines into `due`, oldest first; false when there are none.
  bool Take(std::uint64_t thread, std::deque<Apc>& due);
  bool Any(std::uint64_t thread) const;
  void Forget(std::uint64_t thread) { queues_.erase(thread); }  // the thread has ended
  void Clear() { queues_.clear(); }

 private:
  std::map<std::uint64_t, std::deque<Apc>> queues_;
};

// ReadFileEx's checks on the call itself, whatever the device: an overlapped handle, a record
// and a buffer, and read access. False with the error set.
bool ReadCallAllowed(bool overlappedHandle, DWORD access, const OVERLAPPED* overlapped,
                     const void* buffer);

// A read just issued: pending, nothing transferred yet.
void MarkPending(OVERLAPPED& overlapped);

// The reads CloseHandle ends: all of the handle's.
struct ReadsOf {
  HANDLE handle;
  bool operator()(const ReadRequest& read) const { return read.handle == handle; }
};

// The reads CancelIo ends: only those the calling thread issued on the handle.
struct ThreadReadsOf {
  HANDLE handle;
  std::uint64_t thread;
  bool operator()(const ReadRequest& read) const {
    return read.handle == handle && read.thread == thread;
  }
};

// The reads CancelIoEx ends: the handle's, whichever thread issued them; only the one with this
// record when a record is given.
struct RequestedReadsOf {
  HANDLE handle;
  const OVERLAPPED* overlapped;
  bool operator()(const ReadRequest& read) const {
    return read.handle == handle && (overlapped == nullptr || read.overlapped == overlapped);
  }
};

// Ends `read`: its OVERLAPPED gets the status of `error` and `bytes`, its routine is queued.
void CompleteRead(ApcQueues& apcs, const ReadRequest& read, DWORD error, DWORD bytes);

// Runs the routines taken from a queue, on the calling thread.
void RunRoutines(const std::deque<Apc>& due);

// GetOverlappedResult's answer once any waiting is over: the count so far, and the outcome the
// record holds as the call reports it.
BOOL OverlappedOutcome(const OVERLAPPED& overlapped, DWORD* transferred);

// Removes the reads `match` selects from `reads`, which keeps the others in order, and returns
// the removed ones oldest first.
template <class Read, class Match>
std::vector<Read> TakeReads(std::deque<Read>& reads, Match match) {
  std::deque<Read> keep;
  std::vector<Read> taken;
  for (Read& read : reads) {
    if (match(std::as_const(read))) {
      taken.push_back(std::move(read));
    } else {
      keep.push_back(std::move(read));
    }
  }
  reads.swap(keep);
  return taken;
}

}  // namespace platform::common
