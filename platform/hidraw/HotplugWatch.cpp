#include "platform/hidraw/HotplugWatch.h"

#include <poll.h>

#include <cerrno>

#include "hid/DBT.h"
#include "host/Messages.h"

namespace hidraw {

HotplugWatch::HotplugWatch(std::unique_ptr<ChangeSource> source)
    : source_(std::move(source)), stop_(MakeWakeFd()) {
  if (!source_ || !stop_.Valid()) return;
  // The thread posts into the message loop, which must outlive it. Reaching the loop here
  // finishes its construction before that of any static object owning this watch, so at the
  // program's end the loop is destroyed after it.
  host::TickCountMs();
  thread_ = std::thread(&HotplugWatch::Run, this);
}

HotplugWatch::~HotplugWatch() {
  if (thread_.joinable()) {
    Signal(stop_);
    thread_.join();
  }
}

void HotplugWatch::Run() {
  pollfd fds[2] = {{source_->Fd(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
  for (;;) {
    fds[0].revents = 0;
    fds[1].revents = 0;
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;  // cannot wait any more; coming back at once would spin
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) != 0) {
      // One broadcast per change, as the system sends one per device node it adds or removes.
      for (int n = source_->Drain(); n > 0; --n) {
        host::BroadcastToProcessWindows(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
      }
    } else if (fds[0].revents != 0) {
      return;  // the source broke (error or hang-up without data): watching is over
    }
  }
}

}  // namespace hidraw
