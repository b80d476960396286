#include "host/UniqueFd.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace host {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void UniqueFd::Reset() {
#ifdef _WIN32
  if (fd_ >= 0) ::_close(fd_);
#else
  // close() is not retried on EINTR: on Linux the descriptor is gone either way.
  if (fd_ >= 0) ::close(fd_);
#endif
  fd_ = -1;
}

}  // namespace host
