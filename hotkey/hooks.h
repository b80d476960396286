// A Windows hook as an object. The system calls a hook procedure with no room for an object, so
// each hook object gets its own procedure: a thunk from a process-wide pool of executable slots,
// bound to the object's HookCallback (layouts in hotkey/ThunkPage.h; on x86-64, the build we
// ship, a slot is 32 bytes and a 4096-byte page holds 127 of them).
//
// Every call of a hook object happens on the thread that installed it, while that thread
// retrieves messages; the pool and the objects have no locks.
#pragma once

#include <cstdint>
#include <string>

#include "host/Component.h"
#include "host/Event.h"
#include "host/WinDefs.h"

namespace hooks {

// One hook call: what the system passed, and what it gets back (0 at first; non-zero means the
// event is handled and goes no further).
struct THookMsg {
  std::int32_t Code;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

class TCustomHook;
using THookNotify = host::Event<void(TCustomHook* Hook, THookMsg& Hookmsg)>;

class TCustomHook : public host::TObject {
 public:
  // Raises host::Exception when no thunk can be had.
  TCustomHook();
  // Removes an installed hook before its thunk goes back to the pool.
  ~TCustomHook() override;

  bool Active() const { return active_; }
  // Installing may raise host::Exception("<class name> CREATION FAILED!"); the hook then stays
  // inactive. An equal value does nothing.
  void SetActive(bool value);
  // An active hook is installed anew, and only then is the one it had removed: when the system
  // refuses the new one, the object keeps the old and raises as installing does.
  void Reinstall();
  DWORD ThreadID() const { return threadId_; }
  // An active hook is removed and installed again.
  void SetThreadID(DWORD value);
  HHOOK HookHandle() const { return hookHandle_; }
  HOOKPROC HookProc() const { return hookProc_; }

  THookNotify OnPreExecute;
  THookNotify OnPostExecute;

  virtual std::string ClassName() const { return "TCustomHook"; }

  // What every call of this object's thunk runs.
  void HookCallback(THookMsg& Hookmsg);

 protected:
  virtual void PreExecute(THookMsg& Hookmsg, bool& Handled);
  virtual void PostExecute(THookMsg& Hookmsg);
  virtual HHOOK AllocateHook() = 0;

 private:
  HHOOK hookHandle_ = nullptr;
  HOOKPROC hookProc_ = nullptr;
  bool active_ = false;
  DWORD threadId_ = 0;
};

class THook : public TCustomHook {
 public:
  std::string ClassName() const override { return "THook"; }
};

// The system-wide low-level keyboard hook: every key press and release of the desktop.
class TLowLevelKeyboardHook : public THook {
 public:
  std::string ClassName() const override { return "TLowLevelKeyboardHook"; }

  // The key event of the call in progress; null between calls.
  const KBDLLHOOKSTRUCT* HookStruct = nullptr;

 protected:
  void PreExecute(THookMsg& Hookmsg, bool& Handled) override;
  void PostExecute(THookMsg& Hookmsg) override;
  HHOOK AllocateHook() override;
};

// The process's thunk pool, for tests that look at it: the newest page and the next free slot.
std::uintptr_t ThunkPageList();
std::uintptr_t ThunkFreeList();

}  // namespace hooks
