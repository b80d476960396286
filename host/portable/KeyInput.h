// The portable backend's keyboard: tests and integrators press keys, which travel through the
// in-process hook chain (host/SystemHook.h) the way the system sends them through its own, and
// see what each hook chain decided and whether the key reached the focused window.
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
// The outcomes of the keys that have gone through since the last call, oldest first.
std::vector<KeyOutcome> TakeKeyOutcomes();

// How many hooks the chain holds.
std::size_t InstalledHookCount();
// While set, installing a hook fails as when the system refuses it.
void RefuseHookInstallation(bool refuse);

}  // namespace host::portable
