#include "platform/common/ThreadHandles.h"

#include "platform/common/LastError.h"

namespace platform::common {

HANDLE ThreadHandles::Open(DWORD threadId) {
  // Thread ids are the backends' thread keys, which count up from 1 and stay far below 2^32.
  const std::uint64_t thread = threadId;
  if (live_.count(thread) == 0) {
    SetError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetError(ERROR_SUCCESS);
  return open_.Add(thread);
}

bool ThreadHandles::Queue(ApcQueues& apcs, HANDLE handle, PAPCFUNC routine, ULONG_PTR parameter,
                          std::uint64_t& thread) {
  const std::uint64_t* target = open_.Find(handle);
  if (target == nullptr || routine == nullptr) {
    SetError(target == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return false;
  }
  if (live_.count(*target) == 0) {
    SetError(ERROR_GEN_FAILURE);  // the thread has ended
    return false;
  }
  thread = *target;
  Apc apc{nullptr, 0, 0, nullptr};
  apc.userRoutine = routine;
  apc.parameter = parameter;
  apcs.Queue(thread, apc);
  return true;
}

HANDLE ServeOpenThread(DWORD threadId, const ThreadCalls& backend) {
  std::lock_guard<std::mutex> lock(backend.mutex);
  return backend.threads.Open(threadId);
}

DWORD ServeQueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR parameter,
                        const ThreadCalls& backend) {
  std::lock_guard<std::mutex> lock(backend.mutex);
  std::uint64_t key = 0;
  if (!backend.threads.Queue(backend.apcs, thread, routine, parameter, key)) return 0;
  backend.wake(key);
  return 1;
}

}  // namespace platform::common
