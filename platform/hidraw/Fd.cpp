#include "platform/hidraw/Fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace hidraw {

IoFd& IoFd::operator=(IoFd&& other) noexcept {
  if (this != &other) {
    Reset();
    io_ = std::move(other.io_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void IoFd::Reset() {
  if (fd_ >= 0 && io_) io_->Close(fd_);
  fd_ = -1;
  io_.reset();
}

UniqueFd MakeWakeFd() {
  return UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

void Signal(int fd) {
  if (fd < 0) return;
  const std::uint64_t one = 1;
  // A full counter (EAGAIN) is already readable, which is all a wake needs.
  [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof(one));
}

void Signal(const UniqueFd& fd) {
  Signal(fd.Get());
}

void Clear(int fd) {
  if (fd < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof(count));
}

}  // namespace hidraw
