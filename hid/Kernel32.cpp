#include "hid/Kernel32.h"

#include <atomic>

#include "hid/LibraryLoader.h"

namespace hid {
namespace {

LibraryHandle gKernel32Lib;
int gKernel32Users = 0;
Kernel32Calls gCalls;

template <class Fn>
Fn Bind(const char* name, bool& allFound) {
  return FunctionCast<Fn>(BindSymbol(gKernel32Lib.Get(), name, allFound));
}

template <class Fn>
Fn Find(const char* name) {
  return FunctionCast<Fn>(FindSymbol(gKernel32Lib.Get(), name));
}

}  // namespace

bool BindKernel32() {
  if (++gKernel32Users > 1) return true;
  if (!gKernel32Lib.Open(kKernel32LibraryName)) {
    --gKernel32Users;
    return false;
  }
  bool allFound = true;
  Kernel32Calls calls;
  calls.CreateFileA = Bind<PFN_CreateFileA>("CreateFileA", allFound);
  calls.CloseHandle = Bind<PFN_CloseHandle>("CloseHandle", allFound);
  calls.ReadFileEx = Bind<PFN_ReadFileEx>("ReadFileEx", allFound);
  calls.GetOverlappedResult = Bind<PFN_GetOverlappedResult>("GetOverlappedResult", allFound);
  calls.SleepEx = Bind<PFN_SleepEx>("SleepEx", allFound);
  calls.CancelIo = Bind<PFN_CancelIo>("CancelIo", allFound);
  calls.GetLastError = Bind<PFN_GetLastError>("GetLastError", allFound);
  calls.CancelIoEx = Find<PFN_CancelIoEx>("CancelIoEx");
  calls.GetCurrentThreadId = Find<PFN_GetCurrentThreadId>("GetCurrentThreadId");
  calls.OpenThread = Find<PFN_OpenThread>("OpenThread");
  calls.QueueUserAPC = Find<PFN_QueueUserAPC>("QueueUserAPC");
  if (!allFound) {
    ReleaseKernel32();
    return false;
  }
  gCalls = calls;
  return true;
}

void ReleaseKernel32() {
  --gKernel32Users;
  if (gKernel32Users <= 0) {
    gKernel32Users = 0;
    gKernel32Lib.Close();
    gCalls = Kernel32Calls{};
  }
}

const Kernel32Calls& Kernel32() {
  return gCalls;
}

}  // namespace hid
