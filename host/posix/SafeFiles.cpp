// The POSIX side of host/SafeFiles.h. O_NOFOLLOW refuses a link where a name is opened,
// O_NONBLOCK keeps an open from waiting for a pipe's other end, and fstat on the open descriptor
// judges what was really opened, whatever the name led to a moment before.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/SafeFiles.h"

namespace host {
namespace {

std::error_code LastError() {
  return {errno != 0 ? errno : EIO, std::generic_category()};
}

std::error_code WriteAll(int fd, std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    errno = 0;
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return LastError();
    done += static_cast<std::size_t>(n);
  }
  return {};
}

// close()'s own result: a network file system may report a failed write only there.
std::error_code Close(UniqueFd& file) {
  errno = 0;
  return close(file.Release()) == 0 ? std::error_code{} : LastError();
}

}  // namespace

std::string FileErrorText(const std::error_code& error) {
  return error.message();
}

bool IsRefusal(const std::error_code& error) {
  return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

NewFileBeside::NewFileBeside(std::filesystem::path target, std::optional<unsigned> mode)
    : target_(std::move(target)) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    path_ = target_;
    path_ += detail::UnguessableSuffix();
    errno = 0;
    file_ = UniqueFd(open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          mode.value_or(0666)));
    if (file_.Valid()) break;
    error_ = LastError();
    if (error_ != std::errc::file_exists) break;
  }
  if (!file_.Valid()) {
    path_.clear();
    return;
  }
  error_.clear();
  if (mode && fchmod(file_.Get(), static_cast<mode_t>(*mode)) != 0) error_ = LastError();
  if (error_) file_.Reset();
}

NewFileBeside::~NewFileBeside() {
  if (!path_.empty()) unlink(path_.c_str());
}

bool NewFileBeside::Open() const {
  return file_.Valid();
}

std::error_code NewFileBeside::WriteAll(std::string_view text) {
  if (const std::error_code error = host::WriteAll(file_.Get(), text)) return error;
  errno = 0;
  if (fsync(file_.Get()) != 0) return LastError();
  return Close(file_);
}

std::error_code NewFileBeside::MoveOver() {
  errno = 0;
  if (rename(path_.c_str(), target_.c_str()) != 0) return LastError();
  path_.clear();
  return {};
}

std::error_code RewriteInPlace(const std::filesystem::path& path, std::string_view text,
                               bool* writing) {
  if (writing != nullptr) *writing = false;
  errno = 0;
  // No O_CREAT: with it, a sticky folder's protection of other accounts' files refuses the open.
  UniqueFd file(open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.Valid()) return errno == ELOOP ? FileRefusal::kNotRegular : LastError();
  struct stat status {};
  if (fstat(file.Get(), &status) != 0) return LastError();
  if (!S_ISREG(status.st_mode)) return FileRefusal::kNotRegular;
  if (writing != nullptr) *writing = true;
  if (ftruncate(file.Get(), 0) != 0) return LastError();
  if (const std::error_code error = WriteAll(file.Get(), text)) return error;
  return Close(file);
}

std::error_code RemoveName(const std::filesystem::path& path) {
  errno = 0;
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return LastError();
}

std::error_code ReadSmallFile(const std::filesystem::path& path, std::size_t maxSize,
                              std::string& text) {
  text.clear();
  errno = 0;
  UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.Valid()) return LastError();
  struct stat status {};
  if (fstat(file.Get(), &status) != 0) return LastError();
  if (!S_ISREG(status.st_mode)) return FileRefusal::kNotRegular;
  if (static_cast<std::uintmax_t>(status.st_size) > maxSize) return FileRefusal::kTooLarge;
  // One byte past the limit tells a file that grew since the fstat.
  text.resize(maxSize + 1);
  std::size_t done = 0;
  while (done < text.size()) {
    errno = 0;
    const ssize_t n = read(file.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done > maxSize) return FileRefusal::kTooLarge;
  text.resize(done);
  return {};
}

std::error_code AppendingFile::Open(const std::filesystem::path& path, Owner owner) {
  file_.Reset();
  const mode_t mode = owner == Owner::kThisUser ? 0600 : 0666;
  errno = 0;
  UniqueFd file(open(path.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
  if (!file.Valid()) return errno == ELOOP ? FileRefusal::kNotRegular : LastError();
  struct stat status {};
  if (fstat(file.Get(), &status) != 0) return LastError();
  if (!S_ISREG(status.st_mode)) return FileRefusal::kNotRegular;
  if (owner == Owner::kThisUser && status.st_uid != geteuid()) return FileRefusal::kOtherOwner;
  const int flags = fcntl(file.Get(), F_GETFL);
  if (flags < 0 || fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return LastError();
  file_ = std::move(file);
  return {};
}

bool AppendingFile::IsOpen() const {
  return file_.Valid();
}

std::error_code AppendingFile::Append(std::string_view text) {
  return WriteAll(file_.Get(), text);
}

}  // namespace host
