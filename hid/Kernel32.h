// The kernel32 file calls of the HID device, bound by name like the HID libraries, so that a
// device path of the virtual or the hidraw services opens one of their devices.
#pragma once

#include "hid/WinTypes.h"

namespace hid {

// Counted like the setup binding: the first user binds, the last release empties.
bool BindKernel32();
void ReleaseKernel32();

struct Kernel32Calls {
  PFN_CreateFileA CreateFileA = nullptr;
  PFN_CloseHandle CloseHandle = nullptr;
  PFN_ReadFileEx ReadFileEx = nullptr;
  PFN_GetOverlappedResult GetOverlappedResult = nullptr;
  PFN_SleepEx SleepEx = nullptr;
  PFN_CancelIo CancelIo = nullptr;
  // Optional (systems before Vista lack it): cancels a read issued by another thread.
  PFN_CancelIoEx CancelIoEx = nullptr;
  PFN_GetLastError GetLastError = nullptr;
  // Optional, and only together: how a reader thread is woken out of an alertable wait when
  // there is no read outstanding to cancel.
  PFN_GetCurrentThreadId GetCurrentThreadId = nullptr;
  PFN_OpenThread OpenThread = nullptr;
  PFN_QueueUserAPC QueueUserAPC = nullptr;

  bool CanWakeThreads() const {
    return GetCurrentThreadId != nullptr && OpenThread != nullptr && QueueUserAPC != nullptr;
  }
};
// The bound calls; all null while unbound.
const Kernel32Calls& Kernel32();

}  // namespace hid
