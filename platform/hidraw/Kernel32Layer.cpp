// The kernel32 file calls of the hidraw services: opening device nodes by path, overlapped reads
// of input reports whose completion routines run as APCs inside alertable waits, cancellation,
// and the per-thread last error.
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <thread>

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
  s.nextHandle += 4;
  HANDLE handle = reinterpret_cast<HANDLE>(s.nextHandle);
  s.handles[handle] = std::move(file);
  SetError(ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI HidrawCloseHandle(HANDLE handle) {
  State& s = TheState();
  Lock lock(s.mutex);
  auto it = s.handles.find(handle);
  if (it == s.handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EndReadsLocked(
      s, [handle](const PendingRead& read) { return read.handle == handle; },
      ERROR_OPERATION_ABORTED);
  s.handles.erase(it);  // the descriptor closes once no poll holds it any more
  return TRUE;
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
  if (!file->overlapped || overlapped == nullptr || buffer == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((file->access & GENERIC_READ) == 0) {
    SetError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
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
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  s.reads.push_back(
      {handle, file, thread, overlapped, static_cast<BYTE*>(buffer), count, completion});
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
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == kStatusPending) {
    SetError(ERROR_IO_INCOMPLETE);
    return FALSE;
  }
  if (overlapped->Internal != kStatusSuccess) {
    SetError(ErrorOfStatus(overlapped->Internal));
    return FALSE;
  }
  return TRUE;
}

bool TakeRoutines(std::uint64_t me, std::deque<Apc>& due) {
  State& s = TheState();
  Lock lock(s.mutex);
  auto it = s.apcs.find(me);
  if (it == s.apcs.end() || it->second.empty()) return false;
  due.swap(it->second);
  return true;
}

DWORD WINAPI HidrawSleepEx(DWORD milliseconds, BOOL alertable) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  if (!alertable) {
    // Nothing but the time ends a plain sleep.
    if (milliseconds == INFINITE) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_until(deadline);
    return 0;
  }
  const std::uint64_t me = CurrentThreadKey();
  std::deque<Apc> due;
  for (;;) {
    if (TakeRoutines(me, due)) break;
    DWORD remaining = INFINITE;
    if (milliseconds != INFINITE) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      remaining = static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0));
    }
    ServiceOwnReads(remaining);
    if (TakeRoutines(me, due)) break;
    if (milliseconds != INFINITE && Clock::now() >= deadline) return 0;
  }
  for (const Apc& apc : due) {
    if (apc.routine != nullptr) apc.routine(apc.error, apc.bytes, apc.overlapped);
  }
  return WAIT_IO_COMPLETION;
}

BOOL WINAPI HidrawCancelIo(HANDLE handle) {
  const std::uint64_t me = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  if (s.handles.find(handle) == s.handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Only the calling thread's reads, as CancelIo does.
  EndReadsLocked(
      s,
      [handle, me](const PendingRead& read) { return read.handle == handle && read.thread == me; },
      ERROR_OPERATION_ABORTED);
  return TRUE;
}

DWORD WINAPI HidrawGetLastError() {
  return LastError();
}
void WINAPI HidrawSetLastError(DWORD error) {
  SetError(error);
}

}  // namespace

hid::SymbolTable Kernel32Symbols() {
  return {
      {"CreateFileA", ToFarProc(&HidrawCreateFileA)},
      {"CloseHandle", ToFarProc(&HidrawCloseHandle)},
      {"ReadFileEx", ToFarProc(&HidrawReadFileEx)},
      {"GetOverlappedResult", ToFarProc(&HidrawGetOverlappedResult)},
      {"SleepEx", ToFarProc(&HidrawSleepEx)},
      {"CancelIo", ToFarProc(&HidrawCancelIo)},
      {"GetLastError", ToFarProc(&HidrawGetLastError)},
      {"SetLastError", ToFarProc(&HidrawSetLastError)},
  };
}

}  // namespace hidraw::detail
