// Files that the code under test may not replace, write or even read, on every platform.
//
// POSIX: by mode bits. Root writes through them, and CI runs the tests as root, so the check runs
// in a child process that, when root, first becomes the unprivileged user nobody; the bits are
// the same for owner, group and others, so that they bind the child whichever user it is.
// Windows (measured under Wine, run as root): neither the read-only attribute nor a read-only
// folder stops a write there, so another handle holds the file open instead, sharing what the
// code may do; the folder stays writable.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "hid/ServiceHandle.h"
#else
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace till_testing {

// Expectations where gtest's cannot report them, in a child process: each failure is printed,
// and their number is the check's result.
class Checks {
 public:
  void Expect(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "expected: %s\n", what.c_str());
    ++failures_;
  }
  int Result() const { return failures_; }

 private:
  int failures_ = 0;
};

#ifndef _WIN32
// Runs `check` in a child process and gives its result, or -1 when the child did not end
// normally. The child ends with _exit: nothing of the test program runs twice.
inline int RunInChild(const std::function<int()>& check) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int result = check();
    std::fflush(nullptr);
    _exit(result);
  }
  int status = 0;
  pid_t ended = -1;
  while (child > 0 && (ended = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  return ended == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

enum class FileAccess { kReadWrite, kReadOnly, kNone };

// Runs `check` while `file` may be read and written, only read, or neither, and cannot be
// replaced by another file: on POSIX nothing can be made in its folder unless `folderWritable`;
// on Windows the holder's handle does not share deleting. Gives the check's result, or non-zero
// when it could not be run.
inline int WhileRestricted(const std::filesystem::path& file, FileAccess fileAccess,
                           bool folderWritable, const std::function<int()>& check) {
#ifdef _WIN32
  (void)folderWritable;
  const DWORD share = fileAccess == FileAccess::kReadWrite  ? FILE_SHARE_READ | FILE_SHARE_WRITE
                      : fileAccess == FileAccess::kReadOnly ? FILE_SHARE_READ
                                                            : 0;
  const hid::DeviceHandle holder(
      CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr),
      &CloseHandle);
  return holder.Valid() ? check() : -1;
#else
  namespace fs = std::filesystem;
  const fs::path folder = file.parent_path();
  fs::permissions(file, fileAccess == FileAccess::kReadWrite  ? fs::perms{0666}
                        : fileAccess == FileAccess::kReadOnly ? fs::perms{0444}
                                                              : fs::perms::none);
  fs::permissions(folder, folderWritable ? fs::perms::all : fs::perms{0555});
  const int result = RunInChild([&] {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
         setresuid(kNobody, kNobody, kNobody) != 0)) {
      std::perror("giving up root's rights");
      return 125;
    }
    if (access(folder.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "only root can reach %s: let TMPDIR name a folder anyone may enter\n",
                   folder.c_str());
      return 125;
    }
    return check();
  });
  fs::permissions(folder, fs::perms{0755});
  fs::permissions(file, fs::perms{0644});
  return result;
#endif
}

}  // namespace till_testing
