#include "platform/common/Completion.h"

#include "platform/common/LastError.h"

namespace platform::common {
namespace {

// The system keeps an NTSTATUS in OVERLAPPED.Internal and hands the completion routine the
// matching system error code.
struct StatusPair {
  DWORD error;
  ULONG_PTR status;
};
constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001;
constexpr StatusPair kStatusOf[] = {
    {ERROR_SUCCESS, kStatusSuccess},           // success
    {ERROR_OPERATION_ABORTED, 0xC0000120},     // cancelled
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D},  // device not connected
    {ERROR_INVALID_HANDLE, 0xC0000008},        // invalid handle
    {ERROR_GEN_FAILURE, kStatusUnsuccessful},  // unsuccessful
};

}  // namespace

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
  return kStatusUnsuccessful;
}

bool ApcQueues::Take(std::uint64_t thread, std::deque<Apc>& due) {
  auto it = queues_.find(thread);
  if (it == queues_.end() || it->second.empty()) return false;
  due.swap(it->second);
  return true;
}

bool ApcQueues::Any(std::uint64_t thread) const {
  auto it = queues_.find(thread);
  return it != queues_.end() && !it->second.empty();
}

bool ReadCallAllowed(bool overlappedHandle, DWORD access, const OVERLAPPED* overlapped,
                     const void* buffer) {
  if (!overlappedHandle || overlapped == nullptr || buffer == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((access & GENERIC_READ) == 0) {
    SetError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

void MarkPending(OVERLAPPED& overlapped) {
  overlapped.Internal = kStatusPending;
  overlapped.InternalHigh = 0;
}

void CompleteRead(ApcQueues& apcs, const ReadRequest& read, DWORD error, DWORD bytes) {
  read.overlapped->Internal = StatusOfError(error);
  read.overlapped->InternalHigh = bytes;
  apcs.Queue(read.thread, {read.routine, error, bytes, read.overlapped});
}

void RunRoutines(const std::deque<Apc>& due) {
  for (const Apc& apc : due) {
    if (apc.routine != nullptr) {
      apc.routine(apc.error, apc.bytes, apc.overlapped);
    } else if (apc.userRoutine != nullptr) {
      apc.userRoutine(apc.parameter);
    }
  }
}

BOOL OverlappedOutcome(const OVERLAPPED& overlapped, DWORD* transferred) {
  *transferred = static_cast<DWORD>(overlapped.InternalHigh);
  if (overlapped.Internal == kStatusPending) return Fail(ERROR_IO_INCOMPLETE);
  // The record keeps the status; the caller wants the error code the routine got.
  if (overlapped.Internal != kStatusSuccess) return Fail(ErrorOfStatus(overlapped.Internal));
  return TRUE;
}

}  // namespace platform::common
