// Files in a folder that several accounts share (a till's program folder, where any cashier may
// create files and a point-of-sale service may run the programs with more rights than the person
// who planted a name there). Nothing here writes through a link, into a pipe or a device, waits
// on a pipe, or leaves a file half-written. Failures are error codes, never exceptions: the
// system's own (errno values on POSIX, GetLastError codes on Windows) or a FileRefusal.
// The system's part is in host/posix/SafeFiles.cpp and host/win32/SafeFiles.cpp.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include "host/win32/KernelHandle.h"
#else
#include "host/UniqueFd.h"
#endif

namespace host {

// What this unit refuses of its own accord.
enum class FileRefusal {
  kNotRegular = 1,  // a link, a pipe, a device or a folder where a file was expected
  kOtherOwner,      // a file that another account made
  kTooLarge,        // more than the reader takes
};
std::error_code make_error_code(FileRefusal refusal);

// In words, as the system words its own codes.
std::string FileErrorText(const std::error_code& error);
// The system's "you may not" (EACCES, EPERM; access denied, a sharing violation): another way of
// doing the same may still be allowed.
bool IsRefusal(const std::error_code& error);

namespace detail {
// Ends a new file's name: 128 random bits, so that no one can plant the name beforehand.
std::string UnguessableSuffix();
}  // namespace detail

#ifdef _WIN32
using OwnedFile = win32::KernelHandle;
#else
using OwnedFile = UniqueFd;
#endif

// A new file beside `target`, in its folder so that it can take the target's place in one step,
// created exclusively under a name nobody can know beforehand: nothing already there, a link
// least of all, is ever opened. Removed again with the object unless it took the target's place.
class NewFileBeside {
 public:
  // `mode`: the POSIX permission bits the file gets whatever the umask says; without it the
  // umask decides. Windows has no such bits.
  NewFileBeside(std::filesystem::path target, std::optional<unsigned> mode);
  ~NewFileBeside();
  NewFileBeside(const NewFileBeside&) = delete;
  NewFileBeside& operator=(const NewFileBeside&) = delete;

  bool Created() const { return static_cast<bool>(Open()); }
  // Why the file could not be created.
  const std::error_code& Error() const { return error_; }
  // Writes all of `text`, has it reach the disk and closes the file: a full disk may show only at
  // the flush or the close.
  std::error_code WriteAll(std::string_view text);
  // Puts the file in the target's place: the name is replaced, whatever it was, and nothing it led
  // to is touched.
  std::error_code MoveOver();

 private:
  bool Open() const;

  std::filesystem::path target_;
  std::filesystem::path path_;  // empty once it took the target's place, or was never made
  OwnedFile file_;
  std::error_code error_;
};

// Writes `text` over the content of the regular file `path`, in place. Nothing is created, no link
// followed and no pipe waited on: anything but a regular file is refused. What the file held is
// lost when this fails half-way; `writing` then tells so.
std::error_code RewriteInPlace(const std::filesystem::path& path, std::string_view text,
                               bool* writing = nullptr);

// Makes `path` a regular file holding `text` (with the POSIX permission bits `mode` when it is
// new): a new file beside it takes its place, or, where the folder does not allow that (another
// account's file in a sticky folder; on Windows a program that holds the file open), the file is
// rewritten in place. When neither is allowed, the name is left as it was. `writing` tells whether
// the failure came from writing the text itself (a full disk) rather than from what the name is or
// who may change it.
std::error_code ReplaceFile(const std::filesystem::path& path, std::string_view text,
                            std::optional<unsigned> mode, bool* writing = nullptr);

// Removes the name `path` (a link itself, not what it leads to); nothing there counts as done.
std::error_code RemoveName(const std::filesystem::path& path);
// As RemoveName; where the folder keeps the name (another account's file in a sticky folder), a
// regular file is emptied in place instead. A link or a pipe that cannot be removed is left alone.
std::error_code RemoveOrEmpty(const std::filesystem::path& path);

// The whole content of a regular file of at most `maxSize` bytes (a link leads to one): the size
// is checked on the open file before anything is read, and no more than the limit is ever read,
// so a larger file gives FileRefusal::kTooLarge. A missing file gives ENOENT (generic).
std::error_code ReadSmallFile(const std::filesystem::path& path, std::size_t maxSize,
                              std::string& text);

// A regular file that texts are appended to, each with one write of the system's, so that lines
// from several processes do not mix. Opening creates the file when missing, never through a link,
// and refuses a link, a pipe or a device (without waiting on a pipe).
class AppendingFile {
 public:
  enum class Owner {
    kAnyone,    // several accounts may share it; created as the umask says
    kThisUser,  // only a file this user owns; created for this user alone
  };
  std::error_code Open(const std::filesystem::path& path, Owner owner);
  bool IsOpen() const;
  std::error_code Append(std::string_view text);

 private:
  OwnedFile file_;
};

}  // namespace host

template <>
struct std::is_error_code_enum<host::FileRefusal> : std::true_type {};
