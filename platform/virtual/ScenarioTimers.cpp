// Timed plug-ins and removals of a scenario, on window timers, so that on the portable loop's
// virtual clock they happen at exact, repeatable times.
#include <memory>
#include <utility>

#include "host/Messages.h"
#include "platform/virtual/Scenario.h"

namespace virtualhid::detail {
namespace {

// One-shot timers, one per change; timer id = position + 1.
class ScenarioTimers {
 public:
  explicit ScenarioTimers(std::vector<TimedChange> changes)
      : changes_(std::move(changes)), window_(host::WndMethod::Of<&ScenarioTimers::WndProc>(this)) {
    if (window_.Handle() == nullptr) return;
    for (std::size_t i = 0; i < changes_.size(); ++i) {
      host::StartWindowTimer(window_.Handle(), i + 1, changes_[i].afterMs);
    }
  }
  // The window method holds `this`.
  ScenarioTimers(const ScenarioTimers&) = delete;
  ScenarioTimers& operator=(const ScenarioTimers&) = delete;

  bool HasWindow() const { return window_.Handle() != nullptr; }

 private:
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_TIMER || wParam == 0 || wParam > changes_.size()) {
      return host::DefaultWindowProc(wnd, msg, wParam, lParam);
    }
    host::StopWindowTimer(wnd, wParam);
    const TimedChange& change = changes_[wParam - 1];
    if (change.plug) {
      Plug(change.device);
    } else {
      Unplug(change.device);
    }
    return 0;
  }

  std::vector<TimedChange> changes_;
  host::HiddenWindow window_;
};

// Never destroyed: the windows go with Reset, not with the program's static teardown, which
// may come after the message loop's own.
std::vector<std::unique_ptr<ScenarioTimers>>& Running() {
  static auto* running = new std::vector<std::unique_ptr<ScenarioTimers>>();
  return *running;
}

}  // namespace

bool StartScenarioTimers(std::vector<TimedChange> changes) {
  if (changes.empty()) return true;
  auto timers = std::make_unique<ScenarioTimers>(std::move(changes));
  if (!timers->HasWindow()) return false;
  Running().push_back(std::move(timers));
  return true;
}

void StopScenarioTimers() {
  Running().clear();
}

}  // namespace virtualhid::detail
