// The portable backend's hook chain: low-level keyboard hooks in one process, newest first, each
// answering through CallNextHookEx or stopping the key with a non-zero result. Keys arrive as
// input of the message loop, so a hook is called only while the GUI thread retrieves messages,
// and on that thread.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "host/Messages.h"
#include "host/SystemHook.h"
#include "host/portable/InputQueue.h"
#include "host/portable/KeyInput.h"

namespace host {
namespace {

struct InstalledHook {
  HHOOK handle;
  HOOKPROC proc;
  DWORD thread;
};

class HookChain {
 public:
  static HookChain& Get() {
    static HookChain chain;
    return chain;
  }

  HHOOK Install(int idHook, HOOKPROC proc, DWORD threadId) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuse_ || idHook != WH_KEYBOARD_LL || proc == nullptr) return nullptr;
    // A low-level hook is always system-wide; it belongs to the thread that installs it.
    if (threadId != 0) return nullptr;
    // Handles are never reused, so a stale handle cannot reach a newer hook.
    nextHandle_ += 0x10;
    HHOOK handle = reinterpret_cast<HHOOK>(nextHandle_);
    hooks_.push_back({handle, proc, CurrentThreadId()});
    return handle;
  }

  bool Remove(HHOOK handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(hooks_.begin(), hooks_.end(),
                           [handle](const InstalledHook& h) { return h.handle == handle; });
    if (it == hooks_.end()) return false;
    hooks_.erase(it);
    return true;
  }

  // The hook after `from` in calling order (newest first); from == null starts at the newest.
  // Only this thread's hooks are called: the loop has one GUI thread.
  std::optional<InstalledHook> Next(HHOOK from) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto start = hooks_.rbegin();
    if (from != nullptr) {
      start = std::find_if(hooks_.rbegin(), hooks_.rend(),
                           [from](const InstalledHook& h) { return h.handle == from; });
      // A hook removed while it ran has lost its place in the chain: the key goes on unhooked.
      if (start == hooks_.rend()) return std::nullopt;
      ++start;
    }
    const DWORD thread = CurrentThreadId();
    auto next = std::find_if(start, hooks_.rend(),
                             [thread](const InstalledHook& h) { return h.thread == thread; });
    if (next == hooks_.rend()) return std::nullopt;
    return *next;
  }

  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return hooks_.size();
  }

  void Refuse(bool refuse) {
    std::lock_guard<std::mutex> lock(mutex_);
    refuse_ = refuse;
  }

  void Record(const portable::KeyOutcome& outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    outcomes_.push_back(outcome);
  }

  std::vector<portable::KeyOutcome> TakeOutcomes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(outcomes_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<InstalledHook> hooks_;  // oldest first
  std::vector<portable::KeyOutcome> outcomes_;
  std::uintptr_t nextHandle_ = 0x70000;
  bool refuse_ = false;
};

LRESULT CallAfter(HHOOK from, int code, WPARAM wParam, LPARAM lParam) {
  std::optional<InstalledHook> next = HookChain::Get().Next(from);
  return next ? next->proc(code, wParam, lParam) : 0;
}

HWND gFocusedWindow = nullptr;  // the GUI thread's keyboard focus

// Windows tells the hooks which of a pair of modifier keys it was, and the window only the pair.
WPARAM WindowVirtualKey(DWORD vkCode) {
  switch (vkCode) {
    case 160:  // VK_LSHIFT, VK_RSHIFT
    case 161:
      return 16;
    case 162:  // VK_LCONTROL, VK_RCONTROL
    case 163:
      return 17;
    case 164:  // VK_LMENU, VK_RMENU
    case 165:
      return 18;
    default:
      return vkCode;
  }
}

// A key message's lParam: repeat count 1, scan code, extended key, previous state and release.
LPARAM KeyMessageParam(const portable::KeyStroke& key) {
  const bool up = (key.flags & LLKHF_UP) != 0;
  std::uint32_t value = 1 | ((key.scanCode & 0xFF) << 16);
  if ((key.flags & LLKHF_EXTENDED) != 0) value |= 1u << 24;
  if ((key.flags & LLKHF_ALTDOWN) != 0) value |= 1u << 29;
  if (up) value |= (1u << 30) | (1u << 31);
  return static_cast<LPARAM>(value);
}

portable::KeyOutcome Deliver(const portable::KeyStroke& key) {
  KBDLLHOOKSTRUCT info{key.vkCode, key.scanCode, key.flags, static_cast<DWORD>(TickCountMs()), 0};
  WPARAM message = key.message;
  if (message == 0) message = (key.flags & LLKHF_UP) != 0 ? WM_KEYUP : WM_KEYDOWN;
  portable::KeyOutcome outcome{
      key, CallAfter(nullptr, HC_ACTION, message, reinterpret_cast<LPARAM>(&info))};
  HookChain::Get().Record(outcome);
  // Posted, as the system queues input: the window sees the key after the hooks have.
  if (outcome.ReachedWindow() && gFocusedWindow != nullptr) {
    PostMessageTo(gFocusedWindow, static_cast<UINT>(message), WindowVirtualKey(key.vkCode),
                  KeyMessageParam(key));
  }
  return outcome;
}

std::atomic<DWORD> gLastThreadId{0};

}  // namespace

void PrepareThreadForHooks() {
  // The in-process chain calls a hook through the loop's input, which every thread can take.
}

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  return HookChain::Get().Install(idHook, proc, threadId);
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  return CallAfter(hook, code, wParam, lParam);
}

bool UnhookWindowsHookEx(HHOOK hook) {
  return HookChain::Get().Remove(hook);
}

DWORD CurrentThreadId() {
  // Numbered on first use, never reused while the process lives.
  thread_local const DWORD id = ++gLastThreadId;
  return id;
}

HINSTANCE ExecutableModule() {
  static char self;
  return reinterpret_cast<HINSTANCE>(&self);
}

namespace portable {

void InjectKey(const KeyStroke& key) {
  QueueInput([key] { Deliver(key); });
}

KeyOutcome PressKey(const KeyStroke& key) {
  while (ServeInput()) {
  }
  return Deliver(key);
}

void SetFocusedWindow(HWND wnd) {
  gFocusedWindow = wnd;
}

HWND FocusedWindow() {
  return gFocusedWindow;
}

std::vector<KeyOutcome> TakeKeyOutcomes() {
  return HookChain::Get().TakeOutcomes();
}

std::size_t InstalledHookCount() {
  return HookChain::Get().Count();
}

void RefuseHookInstallation(bool refuse) {
  HookChain::Get().Refuse(refuse);
}

}  // namespace portable
}  // namespace host
