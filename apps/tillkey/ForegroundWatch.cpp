// The Windows side of the foreground note: the event hook, and the tokens that tell levels.
#include <windows.h>

#include <string>

#include "apps/tillkey/ForegroundLevel.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "host/win32/KernelHandle.h"

namespace tillkey {
namespace {

using host::win32::KernelHandle;

ProcessLevel LevelOf(HANDLE process) {
  ProcessLevel level;
  HANDLE opened = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &opened)) return level;
  const KernelHandle token(opened);
  // The label: a SID whose last sub-authority is the level.
  alignas(TOKEN_MANDATORY_LABEL) unsigned char buffer[128];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer, sizeof(buffer), &size)) {
    return level;
  }
  PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0) return level;
  level.integrity = *GetSidSubAuthority(sid, count - 1U);
  DWORD uiAccess = 0;
  if (GetTokenInformation(token.Get(), TokenUIAccess, &uiAccess, sizeof(uiAccess), &size)) {
    level.uiAccess = uiAccess != 0;
  }
  level.known = true;
  return level;
}

std::string ImageName(HANDLE process) {
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (process == nullptr || !QueryFullProcessImageNameW(process, 0, path, &length)) return "?";
  return host::Utf16ToUtf8(std::u16string(path, path + length));
}

void CALLBACK ForegroundChanged(HWINEVENTHOOK, DWORD, HWND wnd, LONG, LONG, DWORD, DWORD) {
  DWORD processId = 0;
  if (wnd == nullptr || GetWindowThreadProcessId(wnd, &processId) == 0) return;
  const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  const ProcessLevel foreground = process ? LevelOf(process.Get()) : ProcessLevel{};
  const std::string note = ForegroundLevelNote(LevelOf(GetCurrentProcess()), foreground);
  if (note.empty()) return;
  host::TraceLine("foreground", ImageName(process.Get()) + " (process " +
                                    std::to_string(processId) + "): " + note);
}

}  // namespace

ForegroundLevelWatch::ForegroundLevelWatch(bool enabled) {
  if (!enabled) return;
  hook_ = decltype(hook_)(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                          &ForegroundChanged, 0, 0,
                                          WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
  if (!hook_) host::TraceLine("foreground", "not watched: the system refused the event hook");
}

void ForegroundLevelWatch::Unhook::operator()(void* hook) const {
  UnhookWinEvent(static_cast<HWINEVENTHOOK>(hook));
}

}  // namespace tillkey
