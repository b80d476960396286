// The real hook chain: straight through to user32 and kernel32.
#include "host/SystemHook.h"

#include <windows.h>

namespace host {

void PrepareThreadForHooks() {
  // Hook calls reach the installing thread through its message queue. A thread that has never
  // looked for messages may have none yet, and under Wine the first keys are then lost. The look
  // runs whatever other threads have sent meanwhile (a session's end, say), which is why it is
  // not made inside an installation.
  thread_local bool prepared = false;
  if (prepared) return;
  prepared = true;
  MSG peek;
  PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE);
}

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId) {
  return ::SetWindowsHookExA(idHook, proc, module, threadId);
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  return ::CallNextHookEx(hook, code, wParam, lParam);
}

bool UnhookWindowsHookEx(HHOOK hook) {
  return ::UnhookWindowsHookEx(hook) != FALSE;
}

DWORD CurrentThreadId() {
  return ::GetCurrentThreadId();
}

HINSTANCE ExecutableModule() {
  return ::GetModuleHandleA(nullptr);
}

}  // namespace host
