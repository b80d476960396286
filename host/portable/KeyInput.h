// The portable backend's keyboard: tests and integrators press keys, which travel through the
// in-process hook chain (host/SystemHook.h) the way the system sends them through its own, and
// see what each hook chain decided; a key that passes reaches the focused window as a message.
#pragma once

#include <cstddef>
#include <vector>

#include "host/WinDefs.h"

namespace host::portable {

struct KeyStroke {
  DWORD vkCode = 0;
  DWORD scanCode = 0;
  DWORD flags = 0;  // LLKHF_UP for a release
  // The message identifier the hooks get in wParam; 0 takes WM_KEYDOWN or WM_KEYUP from flags.
  WPARAM message = 0;
};

struct KeyOutcome {
  KeyStroke key;
  LRESULT result = 0;  // what the newest hook answered; non-zero swallows the key
  bool ReachedWindow() const { return result == 0; }
};

// Any thread: queues the key for the GUI thread, whose hooks see it once it retrieves messages.
void InjectKey(const KeyStroke& key);
// GUI thread: the key goes through the chain now, as if the system had sent it while the thread
// retrieved messages; input queued earlier goes first. Returns this key's outcome.
KeyOutcome PressKey(const KeyStroke& key);
// GUI thread: the window that keys reach once the hooks let them through, as WM_KEYDOWN, WM_KEYUP
// and their WM_SYS forms (null: keys reach no window).
void SetFocusedWindow(HWND wnd);
HWND FocusedWindow();

// The outcomes of the keys that have gone through since the last call, oldest first.
std::vector<KeyOutcome> TakeKeyOutcomes();

// How many hooks the chain holds.
std::size_t InstalledHookCount();
// While set, installing a hook fails as when the system refuses it.
void RefuseHookInstallation(bool refuse);

}  // namespace host::portable
