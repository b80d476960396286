#include "platform/common/UniqueFd.h"

#include <unistd.h>

namespace platform::common {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void UniqueFd::Reset() {
  // close() is not retried on EINTR: on Linux the descriptor is gone either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace platform::common
