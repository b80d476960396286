// Owners of file descriptors: UniqueFd for the process's own (eventfd, pipe), IoFd for one opened
// through a DeviceIo, which must be closed through the same DeviceIo.
#pragma once

#include <memory>
#include <utility>

#include "host/UniqueFd.h"
#include "platform/hidraw/System.h"

namespace hidraw {

using host::UniqueFd;

class IoFd {
 public:
  IoFd() = default;
  IoFd(std::shared_ptr<DeviceIo> io, int fd) : io_(std::move(io)), fd_(fd) {}
  IoFd(const IoFd&) = delete;
  IoFd& operator=(const IoFd&) = delete;
  IoFd(IoFd&& other) noexcept : io_(std::move(other.io_)), fd_(std::exchange(other.fd_, -1)) {}
  IoFd& operator=(IoFd&& other) noexcept;
  ~IoFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  DeviceIo& Io() const { return *io_; }
  void Reset();

 private:
  std::shared_ptr<DeviceIo> io_;
  int fd_ = -1;
};

// An eventfd that wakes a poll: Signal makes it readable, Clear empties it.
UniqueFd MakeWakeFd();
void Signal(const UniqueFd& fd);
void Signal(int fd);
void Clear(int fd);

}  // namespace hidraw
