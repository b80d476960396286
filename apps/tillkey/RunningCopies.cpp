#include "apps/tillkey/RunningCopies.h"

#include <tlhelp32.h>

#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/win32/KernelHandle.h"

namespace tillkey {
namespace {

std::string ImagePath(DWORD processId) {
  const host::win32::KernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return "";
  std::wstring image(32768, L'\0');
  auto length = static_cast<DWORD>(image.size());
  if (QueryFullProcessImageNameW(process.Get(), 0, image.data(), &length) == FALSE) return "";
  image.resize(length);
  return host::Utf16ToUtf8(std::u16string(image.begin(), image.end()));
}

}  // namespace

std::vector<RunningCopy> FindRunningCopies(const std::string& exePath) {
  std::vector<RunningCopy> copies;
  const std::string wanted = host::NormalisedPath(exePath);
  // Opening each image to learn its true name is the slow part: only those of the same name.
  const std::string wantedName = wanted.substr(wanted.find_last_of('\\') + 1);
  HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  const host::win32::KernelHandle snapshot(taken == INVALID_HANDLE_VALUE ? nullptr : taken);
  if (!snapshot) return copies;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more != FALSE;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == self) continue;
    std::wstring name(entry.szExeFile);
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    if (host::Utf16ToUtf8(std::u16string(name.begin(), name.end())) != wantedName) continue;
    const std::string image = ImagePath(entry.th32ProcessID);
    if (image.empty() || host::NormalisedPath(image) != wanted) continue;
    RunningCopy copy;
    copy.processId = entry.th32ProcessID;
    if (ProcessIdToSessionId(copy.processId, &copy.sessionId) == FALSE) copy.sessionId = ~DWORD{0};
    copies.push_back(copy);
  }
  return copies;
}

}  // namespace tillkey
