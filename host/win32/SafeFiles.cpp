// The Windows side of host/SafeFiles.h. FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link or a
// junction itself rather than what it leads to, so that the handle's own attributes can refuse
// it; GetFileType refuses pipes and character devices. (Wine 8 neither makes nor reports reparse
// points: a Unix link under it is followed, or, dangling, looks like no file at all.)
#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "host/SafeFiles.h"
#include "host/SysUtils.h"

namespace host {
namespace {

using win32::KernelHandle;

std::error_code LastError() {
  const DWORD error = GetLastError();
  return {static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE), std::system_category()};
}

// What an open that found nothing says, in the same words on every platform.
std::error_code OpenError() {
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  return LastError();
}

KernelHandle OpenHandle(const std::filesystem::path& path, DWORD access, DWORD share,
                        DWORD disposition, DWORD flags) {
  const HANDLE handle =
      CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  return KernelHandle(handle != INVALID_HANDLE_VALUE ? handle : nullptr);
}

// A file on a disk, not a link, a junction, a folder, a pipe or a device.
std::error_code RegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return LastError();
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      GetFileType(file) != FILE_TYPE_DISK) {
    return FileRefusal::kNotRegular;
  }
  return {};
}

std::error_code WriteAll(HANDLE file, std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, INT_MAX));
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, chunk, &written, nullptr)) return LastError();
    if (written == 0) return {ERROR_HANDLE_DISK_FULL, std::system_category()};
    done += written;
  }
  return {};
}

// The token's user, and the owner it gives new objects (the Administrators group for an elevated
// administrator): a file with either as its owner is this user's.
bool OwnedByThisUser(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
  };
  const std::unique_ptr<void, LocalFreer> ownedDescriptor(descriptor);  // `owner` points into it
  HANDLE token = nullptr;
  bool mine = false;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    const KernelHandle ownedToken(token);
    for (const TOKEN_INFORMATION_CLASS what : {TokenUser, TokenOwner}) {
      DWORD size = 0;
      GetTokenInformation(token, what, nullptr, 0, &size);
      std::vector<BYTE> buffer(size);
      if (size == 0 || !GetTokenInformation(token, what, buffer.data(), size, &size)) continue;
      const PSID sid = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                         : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
      mine = mine || EqualSid(owner, sid) != FALSE;
    }
  }
  return mine;
}

}  // namespace

std::string FileErrorText(const std::error_code& error) {
  if (error.category() == std::system_category()) {
    return SysErrorMessage(static_cast<std::uint32_t>(error.value()));
  }
  return error.message();
}

bool IsRefusal(const std::error_code& error) {
  if (error.category() != std::system_category()) return false;
  const auto code = static_cast<DWORD>(error.value());
  return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
         code == ERROR_LOCK_VIOLATION;
}

NewFileBeside::NewFileBeside(std::filesystem::path target, std::optional<unsigned> /*mode*/)
    : target_(std::move(target)) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    path_ = target_;
    path_ += detail::UnguessableSuffix();
    file_ = OpenHandle(path_, GENERIC_WRITE, 0, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    if (file_) {
      error_.clear();
      return;
    }
    error_ = LastError();
    if (error_.value() != ERROR_FILE_EXISTS && error_.value() != ERROR_ALREADY_EXISTS) break;
  }
  path_.clear();
}

NewFileBeside::~NewFileBeside() {
  file_.Reset();  // Windows removes no open file
  if (!path_.empty()) DeleteFileW(path_.c_str());
}

bool NewFileBeside::Open() const {
  return static_cast<bool>(file_);
}

std::error_code NewFileBeside::WriteAll(std::string_view text) {
  if (const std::error_code error = host::WriteAll(file_.Get(), text)) return error;
  if (!FlushFileBuffers(file_.Get())) return LastError();
  file_.Reset();
  return {};
}

std::error_code NewFileBeside::MoveOver() {
  // A rename replaces the name: a link there is replaced, not followed.
  if (!MoveFileExW(path_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  path_.clear();
  return {};
}

std::error_code RewriteInPlace(const std::filesystem::path& path, std::string_view text,
                               bool* writing) {
  if (writing != nullptr) *writing = false;
  const KernelHandle file =
      OpenHandle(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file) return OpenError();
  if (const std::error_code refused = RegularFile(file.Get())) return refused;
  if (writing != nullptr) *writing = true;
  if (!SetEndOfFile(file.Get())) return LastError();
  return WriteAll(file.Get(), text);
}

std::error_code RemoveName(const std::filesystem::path& path) {
  if (DeleteFileW(path.c_str())) return {};
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  return {static_cast<int>(error), std::system_category()};
}

std::error_code ReadSmallFile(const std::filesystem::path& path, std::size_t maxSize,
                              std::string& text) {
  text.clear();
  const KernelHandle file =
      OpenHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  if (!file) return OpenError();
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) return FileRefusal::kNotRegular;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return LastError();
  if (static_cast<unsigned long long>(size.QuadPart) > maxSize) return FileRefusal::kTooLarge;
  // One byte past the limit tells a file that grew since its size was read.
  text.resize(maxSize + 1);
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, INT_MAX));
    if (!ReadFile(file.Get(), text.data() + done, chunk, &got, nullptr)) return LastError();
    if (got == 0) break;
    done += got;
  }
  if (done > maxSize) return FileRefusal::kTooLarge;
  text.resize(done);
  return {};
}

std::error_code AppendingFile::Open(const std::filesystem::path& path, Owner owner) {
  file_.Reset();
  // Of the writing rights only appending: every write goes to the end, whatever other writers did
  // meanwhile.
  KernelHandle file =
      OpenHandle(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS,
                 FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file) return LastError();
  if (const std::error_code refused = RegularFile(file.Get())) return refused;
  if (owner == Owner::kThisUser && !OwnedByThisUser(file.Get())) return FileRefusal::kOtherOwner;
  file_ = std::move(file);
  return {};
}

bool AppendingFile::IsOpen() const {
  return static_cast<bool>(file_);
}

std::error_code AppendingFile::Append(std::string_view text) {
  return WriteAll(file_.Get(), text);
}

}  // namespace host
