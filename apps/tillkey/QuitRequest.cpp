#include "apps/tillkey/QuitRequest.h"

#include <iostream>

#include "apps/tillkey/TillkeyForms.h"
#include "host/Process.h"
#include "host/win32/KernelHandle.h"
#include "hotkey/InstanceGuard.h"

namespace tillkey {
namespace {

// Long enough for a copy busy with an opening (a device that never answers keeps it up to about
// two seconds) to finish it and go.
constexpr DWORD kQuitTimeoutMs = 10000;

}  // namespace

int QuitRunningCopy() {
  InstanceGuard::TSharedInstanceInfo info{};
  DWORD error = ERROR_SUCCESS;
  if (!InstanceGuard::ReadRunningInstance(host::ModuleFileName(), info, error)) {
    if (error == ERROR_SUCCESS) return 0;  // no copy runs
    // A copy may run, and this one cannot tell (a block it may not open): the caller must not
    // take that for "ended".
    std::cerr << "tillkey /QUIT: cannot tell whether a copy runs (error " << error << ")\n";
    return 1;
  }
  HWND window = InstanceGuard::BlockToHandle(info.LastInstanceHandle);
  DWORD processId = 0;
  if (GetWindowThreadProcessId(window, &processId) == 0) {
    // The block outlives its copy only for as long as another handle to it does.
    return 0;
  }
  host::win32::KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) {
    std::cerr << "tillkey /QUIT: the running copy cannot be waited for (error " << GetLastError()
              << ")\n";
    return 1;
  }
  const UINT message = RegisterWindowMessageA(kQuitRequestMessageName);
  if (message == 0 || PostMessageW(window, message, 0, 0) == FALSE) {
    std::cerr << "tillkey /QUIT: the running copy cannot be asked to end (error " << GetLastError()
              << ")\n";
    return 1;
  }
  if (WaitForSingleObject(process.Get(), kQuitTimeoutMs) != WAIT_OBJECT_0) {
    std::cerr << "tillkey /QUIT: the running copy did not end within " << kQuitTimeoutMs / 1000
              << " s\n";
    return 1;
  }
  return 0;
}

}  // namespace tillkey
