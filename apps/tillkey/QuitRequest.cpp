#include "apps/tillkey/QuitRequest.h"

#include <iostream>
#include <vector>

#include "apps/tillkey/RunningCopies.h"
#include "apps/tillkey/TillkeyForms.h"
#include "host/win32/KernelHandle.h"
#include "hotkey/InstanceGuard.h"

namespace tillkey {
namespace {

// Long enough for a copy busy with an opening (a device that never answers keeps it up to about
// two seconds) to finish it and go.
constexpr DWORD kQuitTimeoutMs = 10000;

// Asks the copy whose block goes by `mappingName` to end, and waits for it.
int QuitCopyUnder(const std::string& mappingName) {
  InstanceGuard::TSharedInstanceInfo info{};
  DWORD error = ERROR_SUCCESS;
  if (!InstanceGuard::ReadInstanceBlock(mappingName, info, error)) {
    if (error == ERROR_SUCCESS) return kQuitDone;  // no copy runs
    // A copy may run, and this one cannot tell (a block it may not open): the caller must not
    // take that for "ended".
    std::cerr << "tillkey /QUIT: cannot tell whether a copy runs (error " << error << ")\n";
    return kQuitFailed;
  }
  HWND window = InstanceGuard::BlockToHandle(info.LastInstanceHandle);
  DWORD processId = 0;
  if (GetWindowThreadProcessId(window, &processId) == 0) {
    // The block outlives its copy only for as long as another handle to it does.
    return kQuitDone;
  }
  host::win32::KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) {
    std::cerr << "tillkey /QUIT: the running copy cannot be waited for (error " << GetLastError()
              << ")\n";
    return kQuitFailed;
  }
  const UINT message = RegisterWindowMessageA(kQuitRequestMessageName);
  if (message == 0 || PostMessageW(window, message, 0, 0) == FALSE) {
    std::cerr << "tillkey /QUIT: the running copy cannot be asked to end (error " << GetLastError()
              << ")\n";
    return kQuitFailed;
  }
  if (WaitForSingleObject(process.Get(), kQuitTimeoutMs) != WAIT_OBJECT_0) {
    std::cerr << "tillkey /QUIT: the running copy did not end within " << kQuitTimeoutMs / 1000
              << " s\n";
    return kQuitFailed;
  }
  return kQuitDone;
}

}  // namespace

int QuitRunningCopy(const std::string& exePath) {
  // The guard's name today, then the one copies of earlier releases took straight from the path
  // they were started by, which is how the logon entry and the installer spell it.
  std::vector<std::string> names{InstanceGuard::GuardMappingName(exePath)};
  const std::string earlierName = InstanceGuard::MappingNameFor(exePath);
  if (earlierName != names.front()) names.push_back(earlierName);
  for (const std::string& name : names) {
    if (const int status = QuitCopyUnder(name); status != kQuitDone) return status;
  }
  const std::vector<RunningCopy> left = FindRunningCopies(exePath);
  if (left.empty()) return kQuitDone;
  std::cerr << "tillkey /QUIT: " << left.size() << " copies of " << exePath
            << " still run where this session cannot ask them to end:";
  for (const RunningCopy& copy : left) {
    std::cerr << " process " << copy.processId << " (session " << copy.sessionId << ")";
  }
  std::cerr << '\n';
  return kQuitElsewhere;
}

}  // namespace tillkey
