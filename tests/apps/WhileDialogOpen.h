// Acting on the setup dialog while it is modal, as a person would: steps run on a timer's ticks.
// A step is done when it returns true; one not yet done is tried again on the next tick, up to
// 250 ticks. A dialog still open after the last step (or after a step that never got done) is
// closed with its close box, so that no test hangs.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "host/Timer.h"
#include "hotkey/setup_u.h"

namespace till_testing {

class WhileDialogOpen {
 public:
  using Step = std::function<bool()>;

  explicit WhileDialogOpen(std::vector<Step> steps) : steps_(std::move(steps)) {
    timer_.SetInterval(20);
    timer_.SetOnTimer(host::TNotifyEvent::Of<&WhileDialogOpen::Tick>(this));
  }
  bool AllDone() const { return next_ == steps_.size(); }

 private:
  void Tick(host::TObject* /*Sender*/) {
    setup_u::TSetupForm* dialog = setup_u::SetupForm;
    if (dialog == nullptr) return;
    if (next_ < steps_.size() && tries_++ < 250) {
      if (steps_[next_]()) {
        ++next_;
        tries_ = 0;
      }
      return;
    }
    dialog->Close();
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int tries_ = 0;
  host::TTimer timer_{nullptr};
};

}  // namespace till_testing
