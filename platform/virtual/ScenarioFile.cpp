#include "platform/virtual/ScenarioFile.h"

#include "host/SysUtils.h"

#ifdef _WIN32
#include <windows.h>

#include "hid/ServiceHandle.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/UniqueFd.h"
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

ScenarioFileText Read(const std::string& path) {
  // Backup semantics let a folder open too, so that it can be told apart from a file that may
  // not be read.
  const hid::DeviceHandle file(
      CreateFileW(host::FsPath(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr),
      &CloseHandle);
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

ScenarioFileText Read(const std::string& path) {
  // Non-blocking only so that naming a pipe cannot hang the opening; a plain file ignores it.
  const host::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
