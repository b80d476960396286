// The device calls over the kernel: open(2), fstat, the hidraw ioctls, read and poll.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/hidraw/Linux.h"

namespace hidraw::detail {
namespace {

// The kernel's convention: the result, or minus errno.
template <class T>
T Result(T rc) {
  return rc < 0 ? static_cast<T>(-errno) : rc;
}

class KernelIo final : public DeviceIo {
 public:
  int Open(const std::string& path, int flags) override {
    int fd;
    do {
      fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return Result(fd);
  }

  void Close(int fd) override { ::close(fd); }

  int DeviceNumber(int fd, std::uint64_t& devnum) override {
    struct stat st {};
    if (::fstat(fd, &st) < 0) return -errno;
    if (!S_ISCHR(st.st_mode)) return -ENODEV;
    devnum = st.st_rdev;
    return 0;
  }

  int GetRawInfo(int fd, RawInfo& info) override {
    hidraw_devinfo raw{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &raw) < 0) return -errno;
    info.bustype = raw.bustype;
    info.vendor = static_cast<std::uint16_t>(raw.vendor);
    info.product = static_cast<std::uint16_t>(raw.product);
    return 0;
  }

  int GetDescriptor(int fd, std::vector<std::uint8_t>& bytes) override {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0) return -errno;
    auto descriptor = std::make_unique<hidraw_report_descriptor>();
    descriptor->size = static_cast<__u32>(
        size < 0 ? 0 : (size > HID_MAX_DESCRIPTOR_SIZE ? HID_MAX_DESCRIPTOR_SIZE : size));
    if (::ioctl(fd, HIDIOCGRDESC, descriptor.get()) < 0) return -errno;
    bytes.assign(descriptor->value, descriptor->value + descriptor->size);
    return 0;
  }

  int GetFeature(int fd, std::uint8_t* buffer, std::size_t length) override {
    return Result(::ioctl(fd, HIDIOCGFEATURE(length), buffer));
  }

  int SetFeature(int fd, const std::uint8_t* buffer, std::size_t length) override {
    // The kernel only reads the buffer; the ioctl's signature just does not say so.
    return Result(::ioctl(fd, HIDIOCSFEATURE(length), const_cast<std::uint8_t*>(buffer)));
  }

  long Read(int fd, std::uint8_t* buffer, std::size_t length) override {
    return Result(static_cast<long>(::read(fd, buffer, length)));
  }

  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    return Result(::poll(fds, count, timeoutMs));
  }
};

}  // namespace

std::shared_ptr<DeviceIo> MakeKernelIo() {
  return std::make_shared<KernelIo>();
}

}  // namespace hidraw::detail
