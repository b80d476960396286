// The kernel32 file calls of the virtual services: opening interfaces by device path,
// overlapped reads of input reports with completion routines run as APCs in alertable waits,
// cancellation, and the per-thread last error.
#include <chrono>
#include <thread>

#include "host/SysUtils.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"

namespace virtualhid::detail {
namespace {

bool SamePath(const std::string& a, const std::string& b) {
  return host::UpperCase(a) == host::UpperCase(b);
}

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
  for (const auto& device : s.devices) {
    if (!device->plugged || !SamePath(device->path, fileName)) continue;
    if (!AccessGranted(device->config.access, access)) {
      SetError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    s.nextHandle += 4;
    HANDLE handle = reinterpret_cast<HANDLE>(s.nextHandle);
    s.handles[handle] = {device->id, device->devInst, access, (flags & FILE_FLAG_OVERLAPPED) != 0,
                         32};
    SetError(ERROR_SUCCESS);
    return handle;
  }
  SetError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI VirtualCloseHandle(HANDLE handle) {
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CloseHandle")) return FALSE;
  auto it = s.handles.find(handle);
  if (it == s.handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EndReadsLocked(
      s, [handle](const PendingRead& read) { return read.handle == handle; },
      ERROR_OPERATION_ABORTED);
  s.handles.erase(it);
  return TRUE;
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
  if (!record->overlapped || overlapped == nullptr || buffer == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((record->access & GENERIC_READ) == 0) {
    SetError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const DWORD length = device->config.inputReportLength;
  if (length > 0 && count < length) {
    SetError(kErrorInvalidUserBuffer);
    return FALSE;
  }
  PendingRead read{file, thread, overlapped, static_cast<BYTE*>(buffer), count, completion};
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
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
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == kStatusPending) {
    SetError(ERROR_IO_INCOMPLETE);
    return FALSE;
  }
  if (overlapped->Internal != kStatusSuccess) {
    // The record keeps the status; the caller wants the error code the routine got.
    DWORD error = ErrorOfStatus(overlapped->Internal);
    SetError(error);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI VirtualSleepEx(DWORD milliseconds, BOOL alertable) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  State& s = TheState();
  // The clock is checked here rather than trusting a timed wait's own verdict: some thread
  // libraries end a timed wait a little early.
  const bool forever = milliseconds == INFINITE;
  if (!alertable) {
    // Nothing but the time ends a plain sleep.
    while (forever || Clock::now() < deadline) {
      std::this_thread::sleep_until(forever ? Clock::now() + std::chrono::hours(24) : deadline);
    }
    return 0;
  }
  const std::uint64_t thread = CurrentThreadKey();
  std::deque<Apc> due;
  {
    Lock lock(s.mutex);
    for (;;) {
      auto it = s.apcs.find(thread);
      if (it != s.apcs.end() && !it->second.empty()) {
        due.swap(it->second);
        break;
      }
      if (!forever && Clock::now() >= deadline) break;
      if (forever) {
        s.completed.wait(lock);
      } else {
        s.completed.wait_until(lock, deadline);
      }
    }
  }
  if (due.empty()) return 0;
  for (const Apc& apc : due) {
    if (apc.routine != nullptr) apc.routine(apc.error, apc.bytes, apc.overlapped);
  }
  return WAIT_IO_COMPLETION;
}

BOOL WINAPI VirtualCancelIo(HANDLE file) {
  const std::uint64_t thread = CurrentThreadKey();
  State& s = TheState();
  Lock lock(s.mutex);
  if (TakeFault(s, "CancelIo")) return FALSE;
  if (s.handles.find(file) == s.handles.end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  EndReadsLocked(
      s,
      [file, thread](const PendingRead& read) {
        return read.handle == file && read.thread == thread;
      },
      ERROR_OPERATION_ABORTED);
  return TRUE;
}

DWORD WINAPI VirtualGetLastError() {
  return LastError();
}
void WINAPI VirtualSetLastError(DWORD error) {
  SetError(error);
}

}  // namespace

hid::SymbolTable Kernel32Symbols() {
  return {
      {"CreateFileA", ToFarProc(&VirtualCreateFileA)},
      {"CloseHandle", ToFarProc(&VirtualCloseHandle)},
      {"ReadFileEx", ToFarProc(&VirtualReadFileEx)},
      {"GetOverlappedResult", ToFarProc(&VirtualGetOverlappedResult)},
      {"SleepEx", ToFarProc(&VirtualSleepEx)},
      {"CancelIo", ToFarProc(&VirtualCancelIo)},
      {"GetLastError", ToFarProc(&VirtualGetLastError)},
      {"SetLastError", ToFarProc(&VirtualSetLastError)},
  };
}

}  // namespace virtualhid::detail
