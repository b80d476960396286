#include "hotkey/hooks.h"

#include <utility>

#include "host/CodePages.h"
#include "host/SystemHook.h"
#include "host/Trace.h"
#include "hotkey/ThunkPage.h"
#include "hotkey/ThunkPool.h"

namespace hooks {
namespace {

using BoundCallback = host::Event<void(THookMsg&)>;

// The support trace says what became of the hook: a technician reads "removed" as proof that
// nothing of the program stays in the system's input path.
void RemoveSystemHook(HHOOK handle) {
  if (host::UnhookWindowsHookEx(handle)) {
    host::TraceLine("hook", "removed");
  } else {
    host::TraceLine("hook", "removal refused: the system no longer had the hook");
  }
}

// What a slot's binding holds, read back in the dispatcher.
void RunBinding(std::uintptr_t code, std::uintptr_t object, THookMsg& msg) noexcept {
  try {
    BoundCallback::FromRaw(reinterpret_cast<void*>(object),
                           reinterpret_cast<BoundCallback::Code>(code))(msg);
  } catch (...) {
    // Nothing may unwind into the system's caller; the key then goes on as it came.
    host::TraceDroppedException("hook thunk dispatch");
  }
}

#if defined(__x86_64__) || defined(_M_X64)

using NativePage = ThunkPage64;

// Entered by a slot's jump with the system's three arguments in place and the slot's binding in
// the fourth argument register.
LRESULT TILL_HOOK_CALL HookThunkDispatch(int nCode, WPARAM wParam, LPARAM lParam,
                                         const std::uint8_t* binding) noexcept {
  THookMsg msg{nCode, wParam, lParam, 0};
  RunBinding(ReadThunkAddress<std::uint64_t>(binding), ReadThunkAddress<std::uint64_t>(binding + 8),
             msg);
  return msg.Result;
}

#elif defined(__i386__) || defined(_M_IX86)

using NativePage = ThunkPage32;

// Entered by the page's jump after `pop ecx`: the binding is the first (ecx) argument of a
// fastcall, the second (edx) is unused, and the system's three stack arguments follow, which a
// fastcall callee removes as a hook procedure must.
LRESULT __attribute__((fastcall)) HookThunkDispatch(const std::uint8_t* binding, int /*edx*/,
                                                    int nCode, WPARAM wParam, LPARAM lParam) {
  THookMsg msg{nCode, wParam, lParam, 0};
  RunBinding(ReadThunkAddress<std::uint32_t>(binding), ReadThunkAddress<std::uint32_t>(binding + 4),
             msg);
  return msg.Result;
}

#else
#error "The keyboard hook's thunks are written for x86 and x86-64 only."
#endif

// The process's own pages.
struct ProcessCodePages {
  using Address = NativePage::Address;
  static Address AllocatePage() { return reinterpret_cast<Address>(host::AllocateCodePage()); }
  static std::uint8_t* Bytes(Address at) { return reinterpret_cast<std::uint8_t*>(at); }
  static bool OpenForChange(Address page) {
    return host::MakeCodePageWritable(reinterpret_cast<void*>(page));
  }
  static bool CloseAfterChange(Address page) {
    return host::MakeCodePageExecutable(reinterpret_cast<void*>(page));
  }
};
static_assert(sizeof(NativePage::Address) == sizeof(void*));

using NativePool = ThunkPool<NativePage, ProcessCodePages>;

NativePool& Pool() {
  static ProcessCodePages pages;
  static NativePool pool(pages, reinterpret_cast<NativePage::Address>(&HookThunkDispatch));
  return pool;
}

}  // namespace

std::uintptr_t ThunkPageList() {
  return Pool().ThunkPageList;
}
std::uintptr_t ThunkFreeList() {
  return Pool().ThunkFreeList;
}

TCustomHook::TCustomHook() {
  const BoundCallback callback = BoundCallback::Of<&TCustomHook::HookCallback>(this);
  hookProc_ = reinterpret_cast<HOOKPROC>(
      Pool().AllocHookThunk(reinterpret_cast<NativePage::Address>(callback.CodePart()),
                            reinterpret_cast<NativePage::Address>(callback.Object())));
  // What SetThreadID does for a hook that is not active yet: nothing to put in again.
  threadId_ = host::CurrentThreadId();
  host::PrepareThreadForHooks();
}

TCustomHook::~TCustomHook() {
  // No exception can come from here: only installing raises.
  SetActive(false);
  Pool().ReleaseHookThunk(reinterpret_cast<NativePage::Address>(hookProc_));
}

void TCustomHook::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (!value) {
    if (hookHandle_ != nullptr) RemoveSystemHook(hookHandle_);
    hookHandle_ = nullptr;
    return;
  }
  hookHandle_ = AllocateHook();
  if (hookHandle_ == nullptr) {
    active_ = false;
    throw host::Exception(ClassName() + " CREATION FAILED!");
  }
  if (host::Tracing()) host::TraceLine("hook", ClassName() + " installed");
}

void TCustomHook::Reinstall() {
  if (!active_) return;
  const HHOOK fresh = AllocateHook();
  if (fresh == nullptr) throw host::Exception(ClassName() + " CREATION FAILED!");
  if (host::Tracing()) host::TraceLine("hook", ClassName() + " installed again");
  RemoveSystemHook(std::exchange(hookHandle_, fresh));
}

void TCustomHook::SetThreadID(DWORD value) {
  const bool wasActive = active_;
  SetActive(false);
  threadId_ = value;
  SetActive(wasActive);
}

void TCustomHook::HookCallback(THookMsg& Hookmsg) {
  bool handled = false;
  try {
    PreExecute(Hookmsg, handled);
  } catch (...) {
    // A handler that fails has not decided: the key goes on rather than being lost.
    host::TraceDroppedException("keyboard hook");
    handled = false;
  }
  if (handled) return;
  Hookmsg.Result = host::CallNextHookEx(hookHandle_, Hookmsg.Code, Hookmsg.WParam, Hookmsg.LParam);
  try {
    PostExecute(Hookmsg);
  } catch (...) {
    host::TraceDroppedException("keyboard hook");
  }
}

void TCustomHook::PreExecute(THookMsg& Hookmsg, bool& Handled) {
  if (OnPreExecute) OnPreExecute(this, Hookmsg);
  Handled = Hookmsg.Result != 0;
}

void TCustomHook::PostExecute(THookMsg& Hookmsg) {
  if (OnPostExecute) OnPostExecute(this, Hookmsg);
}

void TLowLevelKeyboardHook::PreExecute(THookMsg& Hookmsg, bool& Handled) {
  HookStruct = reinterpret_cast<const KBDLLHOOKSTRUCT*>(Hookmsg.LParam);
  try {
    TCustomHook::PreExecute(Hookmsg, Handled);
  } catch (...) {
    HookStruct = nullptr;
    throw;
  }
  // A handled event gets no PostExecute; the system's structure must not outlive the call here.
  if (Handled) HookStruct = nullptr;
}

void TLowLevelKeyboardHook::PostExecute(THookMsg& Hookmsg) {
  struct ClearAfter {
    const KBDLLHOOKSTRUCT*& field;
    ~ClearAfter() { field = nullptr; }
  } clear{HookStruct};
  TCustomHook::PostExecute(Hookmsg);
}

HHOOK TLowLevelKeyboardHook::AllocateHook() {
  return host::SetWindowsHookExA(WH_KEYBOARD_LL, HookProc(), host::ExecutableModule(), 0);
}

}  // namespace hooks
