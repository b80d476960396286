// The kernel32 file calls of the hidraw services: opening device nodes by path, overlapped reads
// of input reports whose completion routines run as APCs inside alertable waits, and
// cancellation. The per-thread last error is the one both backends share.
#include <fcntl.h>

#include <algorithm>

#include "platform/common/AlertableWait.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {
namespace {

int OpenMode(DWORD access) {
  const bool read = (access & GENERIC_READ) != 0;
  const bool write = (access & GENERIC_WRITE) != 0;
  if (read && write) return O_RDWR;
  if (write) return O_WRONLY;
  // Read access, or none: a query-only handle still needs a descriptor for the ioctls, and
  // read-only is the least a node can grant.
  return O_RDONLY;
}

HANDLE WINAPI HidrawCreateFileA(LPCSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                                DWORD disposition, DWORD flags, HANDLE) {
  State& s = TheState();
  System system;
  {
    Lock lock(s.mutex);
    system = s.system;
  }
  if (!system.io) {
    SetError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  if (fileName == nullptr || disposition != OPEN_EXISTING) {
    SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Non-blocking, whatever the handle: a read is only ever made once poll says a report waits.
  const int fd = system.io->Open(fileName, OpenMode(access) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetError(ErrorOfErrno(-fd));
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<File>();
  file->fd = IoFd(system.io, fd);
  std::uint64_t devnum = 0;
  if (system.io->DeviceNumber(fd, devnum) < 0) {
    SetError(ERROR_FILE_NOT_FOUND);  // not a device node at all
    return INVALID_HANDLE_VALUE;
  }
  file->access = access;
  file->overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
  if (system.directory) file->info = system.directory->Describe(devnum);

  Lock lock(s.mutex);
  SetError(ERROR_SUCCESS);
  return s.handles.Add(std::move(file));
}

BOOL WINAPI HidrawCloseHandle(HANDLE handle) {
  State& s = TheState();
  Lock lock(s.mutex);
  // The descriptor closes once no poll holds it any more.
  return common::CloseHandleLocked(s, handle);
}

BOOL WINAPI HidrawReadFileEx(HANDLE handle, LPVOID buffer, DWORD count, LPOVERLAPPED overlapped,
                             LPOVERLAPPED_COMPLETION_ROUTINE completion) {
  const std::uint64_t thread = CurrentThreadKey();  // before the lock: the first call takes it
  State& s = TheState();
  Lock lock(s.mutex);
  std::shared_ptr<File> file = FindFileLocked(s, handle);
  if (!file) return FALSE;
  if (file->gone) {
    SetError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (!common::ReadCallAllowed(file->overlapped, file->access, overlapped, buffer)) return FALSE;
  const DescriptorCaps* caps = CapsLocked(*file);
  if (file->gone) {
    SetError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  // As on Windows, the buffer must hold a whole report of the interface's input length.
  if (count == 0 || (caps != nullptr && count < caps->inputReportByteLength)) {
    SetError(kErrorInvalidUserBuffer);
    return FALSE;
  }
  common::MarkPending(*overlapped);
  s.reads.push_back(
      {{handle, thread, overlapped, static_cast<BYTE*>(buffer), count, completion}, file});
  SetError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI HidrawGetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, DWORD* transferred,
                                      BOOL wait) {
  const std::uint64_t me = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  if (overlapped == nullptr || transferred == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  while (wait && overlapped->Internal == kStatusPending) {
    auto it = std::find_if(s.reads.begin(), s.reads.end(), [overlapped](const PendingRead& r) {
      return r.overlapped == overlapped;
    });
    if (it == s.reads.end()) break;  // no read of ours behind it: nothing will complete it
    if (it->thread == me) {
      // Only the issuing thread serves its reads; waiting here does that without running any
      // routine (the wait is not alertable).
      lock.unlock();
      ServiceOwnReads(INFINITE);
      lock.lock();
    } else {
      s.completed.wait(lock);
    }
  }
  return common::OverlappedOutcome(*overlapped, transferred);
}

// Only the issuing thread serves its reads, so an alertable wait serves them until a routine is
// queued for the thread or it is woken.
void ServeWhileWaiting(std::uint64_t, const common::Deadline& deadline) {
  ServiceOwnReads(deadline.RemainingMilliseconds());
}

DWORD WINAPI HidrawSleepEx(DWORD milliseconds, BOOL alertable) {
  State& s = TheState();
  return common::ServeSleepEx(milliseconds, alertable,
                              {s.mutex, s.apcs, &CurrentThreadKey, &ServeWhileWaiting});
}

BOOL WINAPI HidrawCancelIo(HANDLE handle) {
  const std::uint64_t me = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  return common::CancelReadsLocked(s, handle, common::ThreadReadsOf{handle, me});
}

BOOL WINAPI HidrawCancelIoEx(HANDLE handle, LPOVERLAPPED overlapped) {
  State& s = TheState();
  Lock lock(s.mutex);
  return common::CancelReadsLocked(s, handle, common::RequestedReadsOf{handle, overlapped});
}

DWORD WINAPI HidrawGetCurrentThreadId() {
  return static_cast<DWORD>(CurrentThreadKey());
}

// The thread may be inside poll: its wake descriptor ends that.
void SignalWaker(std::uint64_t thread) {
  State& s = TheState();
  auto waker = s.wakers.find(thread);
  if (waker != s.wakers.end()) Signal(waker->second);
}

common::ThreadCalls ThreadBackend() {
  State& s = TheState();
  return {s.mutex, s.apcs, s.threads, &SignalWaker};
}

HANDLE WINAPI HidrawOpenThread(DWORD, BOOL, DWORD threadId) {
  return common::ServeOpenThread(threadId, ThreadBackend());
}

DWORD WINAPI HidrawQueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR parameter) {
  return common::ServeQueueUserAPC(routine, thread, parameter, ThreadBackend());
}

}  // namespace

common::Kernel32Exports Kernel32Entries() {
  return {
      .CreateFileA = &HidrawCreateFileA,
      .CloseHandle = &HidrawCloseHandle,
      .ReadFileEx = &HidrawReadFileEx,
      .GetOverlappedResult = &HidrawGetOverlappedResult,
      .SleepEx = &HidrawSleepEx,
      .CancelIo = &HidrawCancelIo,
      .CancelIoEx = &HidrawCancelIoEx,
      .GetCurrentThreadId = &HidrawGetCurrentThreadId,
      .OpenThread = &HidrawOpenThread,
      .QueueUserAPC = &HidrawQueueUserAPC,
  };
}

}  // namespace hidraw::detail
