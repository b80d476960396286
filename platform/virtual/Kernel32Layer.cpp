// The kernel32 file calls of the virtual services: opening interfaces by device path,
// overlapped reads of input reports with completion routines run as APCs in alertable waits, and
// cancellation. The per-thread last error is the one both backends share.
#include <algorithm>

#include "host/SysUtils.h"
#include "platform/common/AlertableWait.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"

namespace virtualhid::detail {
namespace {

bool AccessGranted(Access access, DWORD requested) {
  switch (access) {
    case Access::ReadWrite:
      return true;
    case Access::QueryOnly:
      return requested == 0;
    case Access::None:
      return false;
  }
  return false;
}

HANDLE WINAPI VirtualCreateFileA(LPCSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                                 DWORD disposition, DWORD flags, HANDLE) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CreateFileA")) return INVALID_HANDLE_VALUE;
  if (fileName == nullptr || disposition != OPEN_EXISTING) {
    SetError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Letter case does not tell paths apart.
  auto found = s.pluggedPaths.find(host::UpperCase(fileName));
  const Device* device =
      found != s.pluggedPaths.end() ? FindDeviceLocked(s, found->second) : nullptr;
  if (device == nullptr || !device->plugged) {
    SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!AccessGranted(device->config.access, access)) {
    SetError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  SetError(ERROR_SUCCESS);
  return s.handles.Add(
      {device->id, device->devInst, access, (flags & FILE_FLAG_OVERLAPPED) != 0, 32});
}

BOOL WINAPI VirtualCloseHandle(HANDLE handle) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CloseHandle")) return FALSE;
  return common::CloseHandleLocked(s, handle);
}

BOOL WINAPI VirtualReadFileEx(HANDLE file, LPVOID buffer, DWORD count, LPOVERLAPPED overlapped,
                              LPOVERLAPPED_COMPLETION_ROUTINE completion) {
  const std::uint64_t thread = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "ReadFileEx")) return FALSE;
  HandleRecord* record = nullptr;
  DWORD error = ERROR_SUCCESS;
  Device* device = UsableDevice(s, file, &record, error);
  if (device == nullptr) {
    SetError(error);
    return FALSE;
  }
  if (!common::ReadCallAllowed(record->overlapped, record->access, overlapped, buffer)) {
    return FALSE;
  }
  const DWORD length = device->config.inputReportLength;
  if (length > 0 && count < length) {
    SetError(kErrorInvalidUserBuffer);
    return FALSE;
  }
  PendingRead read{file, thread, overlapped, static_cast<BYTE*>(buffer), count, completion};
  common::MarkPending(*overlapped);
  if (!device->inputQueue.empty()) {
    const std::vector<std::uint8_t> report = std::move(device->inputQueue.front());
    device->inputQueue.pop_front();
    std::copy(report.begin(), report.end(), read.buffer);
    CompleteReadLocked(s, read, ERROR_SUCCESS, static_cast<DWORD>(report.size()));
  } else {
    // Pending until a report arrives or the read is ended (forever on an interface without
    // input reports, unless cancelled).
    s.reads.push_back(read);
  }
  SetError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI VirtualGetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, DWORD* transferred,
                                       BOOL wait) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "GetOverlappedResult")) return FALSE;
  if (overlapped == nullptr || transferred == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (wait) {
    s.completed.wait(lock, [overlapped] { return overlapped->Internal != kStatusPending; });
  }
  return common::OverlappedOutcome(*overlapped, transferred);
}

// Every completion notifies; the thread's queue is checked again under the lock.
void WaitNotified(std::uint64_t thread, const common::Deadline& deadline) {
  State& s = TheState();
  Lock lock(s.mutex);
  const auto queued = [&s, thread] { return s.apcs.Any(thread); };
  if (deadline.Forever()) {
    s.completed.wait(lock, queued);
  } else {
    s.completed.wait_until(lock, deadline.At(), queued);
  }
}

DWORD WINAPI VirtualSleepEx(DWORD milliseconds, BOOL alertable) {
  State& s = TheState();
  return common::ServeSleepEx(milliseconds, alertable,
                              {s.mutex, s.apcs, &CurrentThreadKey, &WaitNotified});
}

BOOL WINAPI VirtualCancelIo(HANDLE file) {
  const std::uint64_t thread = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CancelIo")) return FALSE;
  return common::CancelReadsLocked(s, file, common::ThreadReadsOf{file, thread});
}

BOOL WINAPI VirtualCancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CancelIoEx")) return FALSE;
  return common::CancelReadsLocked(s, file, common::RequestedReadsOf{file, overlapped});
}

DWORD WINAPI VirtualGetCurrentThreadId() {
  return static_cast<DWORD>(CurrentThreadKey());
}

// Every queued routine notifies; the thread's queue is checked again under the lock.
void NotifyWaiters(std::uint64_t) {
  TheState().completed.notify_all();
}

common::ThreadCalls ThreadBackend() {
  State& s = TheState();
  return {s.mutex, s.apcs, s.threads, &NotifyWaiters};
}

HANDLE WINAPI VirtualOpenThread(DWORD, BOOL, DWORD threadId) {
  return common::ServeOpenThread(threadId, ThreadBackend());
}

DWORD WINAPI VirtualQueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR parameter) {
  return common::ServeQueueUserAPC(routine, thread, parameter, ThreadBackend());
}

}  // namespace

common::Kernel32Exports Kernel32Entries() {
  return {
      .CreateFileA = &VirtualCreateFileA,
      .CloseHandle = &VirtualCloseHandle,
      .ReadFileEx = &VirtualReadFileEx,
      .GetOverlappedResult = &VirtualGetOverlappedResult,
      .SleepEx = &VirtualSleepEx,
      .CancelIo = &VirtualCancelIo,
      .CancelIoEx = &VirtualCancelIoEx,
      .GetCurrentThreadId = &VirtualGetCurrentThreadId,
      .OpenThread = &VirtualOpenThread,
      .QueueUserAPC = &VirtualQueueUserAPC,
  };
}

}  // namespace virtualhid::detail
