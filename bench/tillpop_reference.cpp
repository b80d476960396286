// The yardstick bench/tillpop measures tillpop against: a program that does only what tillpop's
// fastest run must do — erase DEDORO.TXT beside itself, wait the 101 ms that tillpop's own timers
// take before a drawer can have answered (the 100 ms connect tick and the 1 ms settle of the open
// command), write "OK" CR LF there — and nothing else: no framework, no HID services, no C++
// runtime. What tillpop takes beyond this program, started side by side on the same machine, is
// its own start-up and run cost; process creation, which differs between machines, cancels out.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#endif

#include <cstring>
#include <cwchar>
#include <iterator>

namespace {

constexpr unsigned kWaitMs = 101;
constexpr char kOk[] = "OK\r\n";

#ifdef _WIN32

class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  ~File() {
    if (Valid()) CloseHandle(handle_);
  }
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  File& operator=(File&&) = delete;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

int Run() {
  wchar_t path[MAX_PATH + 16];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash == nullptr) return 1;
  // The buffer has room for the name after any folder that fits MAX_PATH.
  constexpr wchar_t kName[] = L"DEDORO.TXT";
  std::wmemcpy(slash + 1, kName, std::size(kName));
  DeleteFileW(path);
  Sleep(kWaitMs);
  const File file(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return 1;
  DWORD written = 0;
  const DWORD size = sizeof(kOk) - 1;
  return WriteFile(file.Get(), kOk, size, &written, nullptr) && written == size ? 0 : 1;
}

#else

class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() {
    if (Valid()) ::close(fd_);
  }
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&&) = delete;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int Get() const { return fd_; }

 private:
  int fd_;
};

int Run() {
  char path[PATH_MAX + 16];
  const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
  if (n <= 0 || n >= PATH_MAX) return 1;
  path[n] = '\0';
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return 1;
  // The buffer has room for the name after any folder that fits PATH_MAX.
  constexpr char kName[] = "DEDORO.TXT";
  std::memcpy(slash + 1, kName, sizeof(kName));
  ::unlink(path);
  timespec wait{0, static_cast<long>(kWaitMs) * 1000000L};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &wait, &wait) == EINTR) {
  }
  const File file(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!file.Valid()) return 1;
  const ssize_t size = sizeof(kOk) - 1;
  return ::write(file.Get(), kOk, size) == size ? 0 : 1;
}

#endif

}  // namespace

int main() {
  return Run();
}
