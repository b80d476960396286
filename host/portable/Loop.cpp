// The portable message loop: one process-wide queue of posted messages, a table of hidden
// windows and a set of window timers, served on the GUI thread. Other threads may only post.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/Messages.h"
#include "host/portable/Clock.h"
#include "host/portable/InputQueue.h"
#include "host/portable/Windows.h"

namespace host {
namespace {

struct Posted {
  HWND wnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

LRESULT CALLBACK MethodProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A window: the method it was made with, its procedure (the method, until a subclass replaces
// it), and what the window manager knows of it.
struct Window {
  WndMethod method;
  WNDPROC proc;
  portable::WindowState state;
};

struct Timer {
  HWND wnd;
  UINT_PTR id;
  std::int64_t interval;
  std::int64_t deadline;
  std::uint64_t sequence;
  std::uint64_t lastPass;  // the DispatchPending pass that last fired it
};

class Loop {
 public:
  // Never destroyed: what static destructors release (a shared hidden window still alive at
  // the end of the program) goes back to a loop that is still there.
  static Loop& Get() {
    static Loop* const loop = new Loop;
    return *loop;
  }

  HWND Allocate(WndMethod method) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Handles are never reused, so a message posted to a window that has gone is dropped
    // instead of reaching a newer one.
    nextHandle_ += 0x10;
    HWND wnd = reinterpret_cast<HWND>(nextHandle_);
    windows_[wnd] = Window{method, &MethodProc, {}};
    return wnd;
  }

  void Deallocate(HWND wnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_.erase(wnd);
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [wnd](const Timer& t) { return t.wnd == wnd; }),
                  timers_.end());
  }

  bool Post(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (windows_.find(wnd) == windows_.end()) return false;
      queue_.push_back({wnd, msg, wParam, lParam});
    }
    wake_.notify_all();
    return true;
  }

  void Broadcast(UINT msg, WPARAM wParam, LPARAM lParam) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& [wnd, window] : windows_) queue_.push_back({wnd, msg, wParam, lParam});
    }
    wake_.notify_all();
  }

  LRESULT Send(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = windows_.find(wnd);
      if (it == windows_.end()) return 0;
      proc = it->second.proc;
    }
    return proc(wnd, msg, wParam, lParam);
  }

  // The method a window was made with (not set when the window is gone).
  WndMethod MethodOf(HWND wnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(wnd);
    return it == windows_.end() ? WndMethod() : it->second.method;
  }

  bool Exists(HWND wnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return windows_.find(wnd) != windows_.end();
  }

  // Null when the window is gone.
  WNDPROC ReplaceProc(HWND wnd, WNDPROC proc) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(wnd);
    if (it == windows_.end()) return nullptr;
    return std::exchange(it->second.proc, proc);
  }
  WNDPROC ProcOf(HWND wnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(wnd);
    return it == windows_.end() ? nullptr : it->second.proc;
  }

  bool ReadState(HWND wnd, portable::WindowState& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(wnd);
    if (it == windows_.end()) return false;
    state = it->second.state;
    return true;
  }
  bool WriteState(HWND wnd, const portable::WindowState& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(wnd);
    if (it == windows_.end()) return false;
    it->second.state = state;
    return true;
  }

  bool StartTimer(HWND wnd, UINT_PTR id, UINT milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (windows_.find(wnd) == windows_.end()) return false;
    // A zero period would make the timer due forever.
    std::int64_t interval = std::max<std::int64_t>(milliseconds, 1);
    auto it = FindTimer(wnd, id);
    Timer timer{wnd, id, interval, NowLocked() + interval, ++sequence_, 0};
    if (it != timers_.end()) {
      *it = timer;
    } else {
      timers_.push_back(timer);
    }
    wake_.notify_all();
    return true;
  }

  bool StopTimer(HWND wnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = FindTimer(wnd, id);
    if (it == timers_.end()) return false;
    timers_.erase(it);
    return true;
  }

  void QueueInput(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      inputs_.push_back(std::move(call));
    }
    wake_.notify_all();
  }

  // One piece of input, if some is waiting.
  bool ServeInput() {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (inputs_.empty()) return false;
      call = std::move(inputs_.front());
      inputs_.pop_front();
    }
    call();
    return true;
  }

  // Input first (the system hands it over the way it sends a message), then one posted message,
  // else one due timer not yet fired in this pass.
  bool DispatchOne(bool* quit, std::uint64_t pass) {
    // As with the system's peek, the hooks' calls run inside the retrieval, the message's
    // handler after it.
    EnteringMessageRetrieval();
    const bool served = ServeInput();
    LeavingMessageRetrieval();
    if (served) return true;
    HWND wnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    WNDPROC proc = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (quit_) {
        quit_ = false;
        *quit = true;
        return true;
      }
      if (!queue_.empty()) {
        Posted p = queue_.front();
        queue_.pop_front();
        wnd = p.wnd;
        msg = p.msg;
        wParam = p.wParam;
        lParam = p.lParam;
      } else {
        Timer* due = EarliestDue(pass);
        if (due == nullptr) return false;
        // Like SetTimer: the next period counts from this tick.
        due->deadline = NowLocked() + due->interval;
        due->sequence = ++sequence_;
        due->lastPass = pass;
        wnd = due->wnd;
        msg = WM_TIMER;
        wParam = due->id;
      }
      auto it = windows_.find(wnd);
      if (it == windows_.end()) return true;  // the window went away after the post
      proc = it->second.proc;
    }
    proc(wnd, msg, wParam, lParam);
    return true;
  }

  std::uint64_t NewPass() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++pass_;
  }

  void Wait() {
    EnteringMessageRetrieval();
    WaitForInput();
    LeavingMessageRetrieval();
  }

  void WaitForInput() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!queue_.empty() || !inputs_.empty() || quit_) return;
      const Timer* next = Earliest();
      std::int64_t now = NowLocked();
      if (next != nullptr && next->deadline <= now) return;
      if (virtual_) {
        if (next != nullptr) {
          virtualNow_ = next->deadline;
          return;
        }
        // Nothing can happen on this thread; only another thread's post can wake us.
        wake_.wait(lock);
      } else if (next != nullptr) {
        wake_.wait_for(lock, std::chrono::milliseconds(next->deadline - now));
      } else {
        wake_.wait(lock);
      }
    }
  }

  void Quit() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
  }

  std::int64_t Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return NowLocked();
  }

  void SetVirtual(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (on == virtual_) return;
    std::int64_t now = NowLocked();
    virtual_ = on;
    if (on) {
      virtualNow_ = now;
    } else {
      realOrigin_ = std::chrono::steady_clock::now() - std::chrono::milliseconds(now);
    }
  }
  bool IsVirtual() {
    std::lock_guard<std::mutex> lock(mutex_);
    return virtual_;
  }
  void Advance(std::int64_t ms) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (virtual_ && ms > 0) virtualNow_ += ms;
    }
    wake_.notify_all();
  }

 private:
  Loop() : realOrigin_(std::chrono::steady_clock::now()) {}

  std::int64_t NowLocked() const {
    if (virtual_) return virtualNow_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 realOrigin_)
        .count();
  }

  std::vector<Timer>::iterator FindTimer(HWND wnd, UINT_PTR id) {
    return std::find_if(timers_.begin(), timers_.end(),
                        [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
  }

  static bool Before(const Timer& a, const Timer& b) {
    return a.deadline != b.deadline ? a.deadline < b.deadline : a.sequence < b.sequence;
  }

  const Timer* Earliest() const {
    const Timer* best = nullptr;
    for (const Timer& t : timers_) {
      if (best == nullptr || Before(t, *best)) best = &t;
    }
    return best;
  }

  Timer* EarliestDue(std::uint64_t pass) {
    std::int64_t now = NowLocked();
    Timer* best = nullptr;
    for (Timer& t : timers_) {
      if (t.deadline > now || (pass != 0 && t.lastPass == pass)) continue;
      if (best == nullptr || Before(t, *best)) best = &t;
    }
    return best;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::unordered_map<HWND, Window> windows_;
  std::deque<Posted> queue_;
  std::deque<std::function<void()>> inputs_;
  std::vector<Timer> timers_;
  std::uintptr_t nextHandle_ = 0x10000;
  std::uint64_t sequence_ = 0;
  std::uint64_t pass_ = 0;
  bool quit_ = false;
  bool virtual_ = false;
  std::int64_t virtualNow_ = 0;
  std::chrono::steady_clock::time_point realOrigin_;
};

// Every window's own procedure: its method, called as the loop calls handlers.
LRESULT CALLBACK MethodProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowMethod(Loop::Get().MethodOf(wnd), wnd, msg, wParam, lParam);
}

}  // namespace

HWND AllocateHWnd(WndMethod method) {
  return Loop::Get().Allocate(method);
}
HWND AllocateApplicationWindow(WndMethod method) {
  return Loop::Get().Allocate(method);
}
void SetWindowCaption(HWND wnd, const std::string& caption) {
  portable::WindowState state;
  if (!Loop::Get().ReadState(wnd, state)) return;
  state.caption = caption;
  Loop::Get().WriteState(wnd, state);
}
std::string WindowCaption(HWND wnd) {
  portable::WindowState state;
  return Loop::Get().ReadState(wnd, state) ? state.caption : std::string();
}
void DeallocateHWnd(HWND wnd) {
  Loop::Get().Deallocate(wnd);
}
void AcceptFromLowerLevels(HWND wnd, UINT msg) {
  portable::WindowState state;
  if (msg == 0 || !Loop::Get().ReadState(wnd, state)) return;
  state.acceptedFromLowerLevels.insert(msg);
  Loop::Get().WriteState(wnd, state);
}
bool PostMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Loop::Get().Post(wnd, msg, wParam, lParam);
}
LRESULT SendMessageTo(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Loop::Get().Send(wnd, msg, wParam, lParam);
}
LRESULT DefaultWindowProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}
void BroadcastToProcessWindows(UINT msg, WPARAM wParam, LPARAM lParam) {
  Loop::Get().Broadcast(msg, wParam, lParam);
}
bool StartWindowTimer(HWND wnd, UINT_PTR id, UINT milliseconds) {
  return Loop::Get().StartTimer(wnd, id, milliseconds);
}
bool StopWindowTimer(HWND wnd, UINT_PTR id) {
  return Loop::Get().StopTimer(wnd, id);
}

bool DispatchPending() {
  Loop& loop = Loop::Get();
  std::uint64_t pass = loop.NewPass();
  bool quit = false;
  while (loop.DispatchOne(&quit, pass)) {
    if (quit) return false;
  }
  return true;
}

bool DispatchOne(bool* quit) {
  bool ignored = false;
  return Loop::Get().DispatchOne(quit != nullptr ? quit : &ignored, 0);
}

void WaitForMessage() {
  Loop::Get().Wait();
}
void PostQuit() {
  Loop::Get().Quit();
}
std::int64_t TickCountMs() {
  return Loop::Get().Now();
}

void SleepWithoutPumping(UINT milliseconds) {
  if (Loop::Get().IsVirtual()) {
    Loop::Get().Advance(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

namespace portable {
bool WindowExists(HWND wnd) {
  return Loop::Get().Exists(wnd);
}
bool ReadWindowState(HWND wnd, WindowState& state) {
  return Loop::Get().ReadState(wnd, state);
}
bool WriteWindowState(HWND wnd, const WindowState& state) {
  return Loop::Get().WriteState(wnd, state);
}
WNDPROC WindowProcOf(HWND wnd) {
  return Loop::Get().ProcOf(wnd);
}
WNDPROC ReplaceWindowProc(HWND wnd, WNDPROC proc) {
  return Loop::Get().ReplaceProc(wnd, proc);
}
void QueueInput(std::function<void()> call) {
  Loop::Get().QueueInput(std::move(call));
}
bool ServeInput() {
  return Loop::Get().ServeInput();
}
void UseVirtualClock() {
  Loop::Get().SetVirtual(true);
}
void UseRealClock() {
  Loop::Get().SetVirtual(false);
}
void AdvanceClock(std::int64_t milliseconds) {
  Loop::Get().Advance(milliseconds);
}
}  // namespace portable

}  // namespace host
