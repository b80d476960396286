// The system's hook chain, as the keyboard hook object uses it. On the Win32 backend these are the
// user32 calls themselves; the portable backend keeps an in-process chain with the same rules
// (host/portable/KeyInput.h lets tests send keys through it).
#pragma once

#include "host/WinDefs.h"

namespace host {

// Makes sure the calling thread has the message queue through which the system hands it hook
// calls (once per thread; later calls do nothing). It may run messages other threads have sent,
// so it is called where that is harmless, before a hook object can be reached: never while a hook
// is being installed.
void PrepareThreadForHooks();
// Null when the hook cannot be installed. Runs no message of any kind.
HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
// The answer of the older hooks, 0 when none is left.
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
bool UnhookWindowsHookEx(HHOOK hook);

// The calling thread's id, as the system numbers threads (GetCurrentThreadId).
DWORD CurrentThreadId();
// The executable's module handle, which a system-wide hook names as its owner.
HINSTANCE ExecutableModule();

}  // namespace host
