#include "platform/virtual/ScenarioFile.h"

#include <utility>

#include "host/SysUtils.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace virtualhid::detail {
namespace {

using Outcome = ScenarioFileText::Outcome;

ScenarioFileText Failed(Outcome outcome, std::uint32_t error = 0) {
  ScenarioFileText result;
  result.outcome = outcome;
  if (outcome == Outcome::Unreadable) result.reason = host::SysErrorMessage(error);
  return result;
}

#ifdef _WIN32

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (Valid()) CloseHandle(handle_);
  }
  FileHandle(FileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  FileHandle& operator=(FileHandle&&) = delete;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

ScenarioFileText Read(const std::string& path) {
  // Backup semantics let a folder open too, so that it can be told apart from a file that may
  // not be read.
  const FileHandle file(CreateFileW(host::FsPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
    return Failed(missing ? Outcome::NotFound : Outcome::Unreadable, error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failed(Outcome::NotAFile);
  }
  ScenarioFileText result;
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr)) {
      return Failed(Outcome::Unreadable, GetLastError());
    }
    if (n == 0) break;
    result.text.append(buffer, n);
  }
  result.outcome = Outcome::Read;
  return result;
}

#else

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (Valid()) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int Get() const { return fd_; }

 private:
  int fd_;
};

ScenarioFileText Read(const std::string& path) {
  // Non-blocking only so that naming a pipe cannot hang the opening; a plain file ignores it.
  const Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.Valid()) {
    const int error = errno;
    const bool missing = error == ENOENT || error == ENOTDIR;
    return Failed(missing ? Outcome::NotFound : Outcome::Unreadable,
                  static_cast<std::uint32_t>(error));
  }
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return Failed(Outcome::NotAFile);
  ScenarioFileText result;
  result.text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(Outcome::Unreadable, static_cast<std::uint32_t>(errno));
    if (n == 0) break;
    result.text.append(buffer, static_cast<std::size_t>(n));
  }
  result.outcome = Outcome::Read;
  return result;
}

#endif

}  // namespace

ScenarioFileText ReadScenarioFile(const std::string& path) {
  return Read(path);
}

}  // namespace virtualhid::detail
