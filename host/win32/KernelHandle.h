// A kernel object's handle (a file, a process, a token), closed with its owner.
#pragma once

#include <windows.h>

#include "host/UniqueHandle.h"

namespace host::win32 {

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// Empty is null: a call that fails with INVALID_HANDLE_VALUE (CreateFileW) is stored as null.
using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;

}  // namespace host::win32
