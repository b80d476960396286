// Named shared memory and the named lock on POSIX systems, with the rules of the Windows objects.
//
// A block is a shared-memory object (shm_open). Every handle and every view holds a shared flock
// on an open file description of its own, so "someone still holds the block" is "an exclusive
// flock cannot be had". A file nobody holds is left over from a process that was killed: creating
// it again zeroes it and counts as creating it, and opening it finds nothing. The last handle to
// go removes the name, so nothing stays behind in the shared-memory file system.
//
// Creating, opening and closing a block are serialized, per name, by a lock file: otherwise a
// closing holder could remove the name just after a creator opened the file, and the two would
// part ways. A lock file is taken with an exclusive flock and removed by its holder on release; a
// waiter that then gets the flock of a file no longer under that name tries again. The named lock
// is the same kind of lock file under names apart from the internal ones.
//
// A flock belongs to an open file description, which a forked child shares with its parent: a
// child must not release the handles it inherited (it ends with _exit, or exec's), as a Windows
// child inherits no handle it was not given.
#include "host/SharedMemory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "host/UniqueFd.h"
#include "host/posix/ErrnoErrors.h"

namespace host {
namespace {

std::uint64_t Fnv1a(const std::string& text, std::uint64_t basis) {
  std::uint64_t hash = basis;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  return hash;
}

// The shared-memory object name of `name` of a kind ("map", "maplock", "lock"). A name is one
// file name, so '/' is escaped, and '%' so that escaping stays one-to-one. A name too long for a
// file name keeps its readable end (a path's file name) and adds a 128-bit hash of the whole;
// the kind's separator ('#' instead of '.') keeps such names apart from short ones.
std::string ObjectName(const char* kind, const std::string& name) {
  std::string escaped;
  for (const char c : name) {
    if (c == '/') {
      escaped += "%2F";
    } else if (c == '%') {
      escaped += "%25";
    } else {
      escaped += c;
    }
  }
  const std::string prefix = std::string("/till-") + kind;
  constexpr std::size_t kLongestName = 200;  // of 255 bytes for a file name
  if (prefix.size() + 1 + escaped.size() <= kLongestName) return prefix + '.' + escaped;
  char hash[40];
  std::snprintf(hash, sizeof(hash), "-%016llx%016llx",
                static_cast<unsigned long long>(Fnv1a(name, 0xCBF29CE484222325ULL)),
                static_cast<unsigned long long>(Fnv1a(name, 0x84222325CBF29CE4ULL)));
  return prefix + '#' + escaped.substr(escaped.size() - 100) + hash;
}

int Flock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

bool SameFile(int a, int b) {
  struct stat sa {};
  struct stat sb {};
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// A lock file held exclusively; its name is removed on release.
class LockFile {
 public:
  LockFile() = default;
  LockFile(LockFile&&) noexcept = default;
  LockFile& operator=(LockFile&&) = delete;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  ~LockFile() {
    // Removed while still held: a waiter on this file then finds the name gone and starts over.
    if (fd_.Valid()) ::shm_unlink(name_.c_str());
  }

  bool Held() const { return fd_.Valid(); }

  // Blocks in flock until the file `name` is ours.
  static LockFile Acquire(const std::string& name, DWORD& error) {
    for (;;) {
      UniqueFd fd(::shm_open(name.c_str(), O_RDWR | O_CREAT, 0600));
      if (!fd.Valid() || Flock(fd.Get(), LOCK_EX) != 0) {
        error = ErrorOfErrno(errno);
        return {};
      }
      const UniqueFd current(::shm_open(name.c_str(), O_RDWR, 0));
      if (current.Valid() && SameFile(fd.Get(), current.Get())) {
        LockFile lock;
        lock.name_ = name;
        lock.fd_ = std::move(fd);
        error = ERROR_SUCCESS;
        return lock;
      }
      if (!current.Valid() && errno != ENOENT) {
        error = ErrorOfErrno(errno);
        return {};
      }
      // Our file was released and removed while we waited for it: take the one under the name now.
    }
  }

 private:
  std::string name_;  // before the descriptor, which closes after the name is removed
  UniqueFd fd_;
};

// One holder of a block: a handle or a view. Letting go of it is Leave, in its destructor.
struct Holder {
  Holder(std::string objectName, std::string guardName, UniqueFd descriptor)
      : object(std::move(objectName)), guard(std::move(guardName)), fd(std::move(descriptor)) {}
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  ~Holder() { Leave(); }

  // The last holder to go removes the block's name.
  void Leave() noexcept {
    if (!fd.Valid()) return;
    DWORD error = ERROR_SUCCESS;
    const LockFile lock = LockFile::Acquire(guard, error);
    // Without the lock file the name stays: the next creator finds a file no one holds and
    // treats it as a leftover, which is what it is.
    if (lock.Held() && Flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) ::shm_unlink(object.c_str());
    fd.Reset();
  }

  std::string object;  // the block's shared-memory object
  std::string guard;   // the lock file that serializes creating, opening and closing it
  UniqueFd fd;         // its own open file description, with a shared flock on it
};

Holder* AsHolder(HANDLE handle) {
  return static_cast<Holder*>(handle);
}

// Called with the block's lock file held. Takes `fd`'s file for a new holder when someone else
// still holds it (true); when no one does, the file is a leftover and `fd` keeps the exclusive
// flock that told so (false).
bool JoinLiveHolders(int fd, DWORD& error) {
  if (Flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
  // Every other holder has a shared flock and no one holds it exclusively meanwhile (that needs
  // the lock file), so ours is granted at once.
  if (errno != EWOULDBLOCK || Flock(fd, LOCK_SH | LOCK_NB) != 0) {
    error = ErrorOfErrno(errno);
    return false;
  }
  return true;
}

// A new holder of the living block `object`; null with ERROR_FILE_NOT_FOUND when none lives.
// Called with the block's lock file held.
std::unique_ptr<Holder> OpenHolder(const std::string& object, const std::string& guard,
                                   DWORD& error) {
  UniqueFd fd(::shm_open(object.c_str(), O_RDWR, 0));
  if (!fd.Valid()) {
    error = ErrorOfErrno(errno);
    return nullptr;
  }
  error = ERROR_SUCCESS;
  if (!JoinLiveHolders(fd.Get(), error)) {
    if (error == ERROR_SUCCESS) {
      // A leftover of a killed process: no block of that name lives.
      ::shm_unlink(object.c_str());
      error = ERROR_FILE_NOT_FOUND;
    }
    return nullptr;
  }
  return std::make_unique<Holder>(object, guard, std::move(fd));
}

// munmap needs the view's length, and each view is a holder of its own: what it cannot carry in
// its pointer is kept here.
struct ViewRecord {
  std::size_t length = 0;
  std::unique_ptr<Holder> holder;
};
struct ViewRegistry {
  std::mutex mutex;
  std::map<void*, ViewRecord> views;
};
// Never destroyed: a view may be released by another static object's destructor at exit.
ViewRegistry& Views() {
  static auto* registry = new ViewRegistry;
  return *registry;
}

}  // namespace

void MappingRelease::operator()(HANDLE mapping) const noexcept {
  delete AsHolder(mapping);
}

void ViewRelease::operator()(void* view) const noexcept {
  ViewRecord record;
  {
    ViewRegistry& registry = Views();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.views.find(view);
    if (it == registry.views.end()) return;
    record = std::move(it->second);
    registry.views.erase(it);
  }
  ::munmap(view, record.length);
}

void NamedLockRelease::operator()(HANDLE lock) const noexcept {
  delete static_cast<LockFile*>(lock);
}

MappingHandle CreateNamedMapping(const std::string& name, DWORD size, bool& alreadyExisted,
                                 DWORD& error) {
  alreadyExisted = false;
  if (size == 0) {
    error = ERROR_INVALID_PARAMETER;  // a block backed by no file needs a size
    return {};
  }
  const std::string object = ObjectName("map", name);
  const std::string guard = ObjectName("maplock", name);
  const LockFile lock = LockFile::Acquire(guard, error);
  if (!lock.Held()) return {};
  UniqueFd fd(::shm_open(object.c_str(), O_RDWR | O_CREAT, 0600));
  if (!fd.Valid()) {
    error = ErrorOfErrno(errno);
    return {};
  }
  error = ERROR_SUCCESS;
  alreadyExisted = JoinLiveHolders(fd.Get(), error);
  if (error != ERROR_SUCCESS) return {};
  if (!alreadyExisted) {
    // New, or a leftover that no one holds: made zero-filled, as a new block is.
    if (::ftruncate(fd.Get(), 0) != 0 || ::ftruncate(fd.Get(), static_cast<off_t>(size)) != 0 ||
        Flock(fd.Get(), LOCK_SH) != 0) {
      error = ErrorOfErrno(errno);
      ::shm_unlink(object.c_str());
      return {};
    }
  }
  return MappingHandle(new Holder(object, guard, std::move(fd)));
}

MappingHandle OpenNamedMapping(const std::string& name, DWORD& error) {
  const std::string object = ObjectName("map", name);
  const std::string guard = ObjectName("maplock", name);
  const LockFile lock = LockFile::Acquire(guard, error);
  if (!lock.Held()) return {};
  return MappingHandle(OpenHolder(object, guard, error).release());
}

MappedView MapView(const MappingHandle& mapping, std::size_t size, DWORD& error) {
  const Holder* handle = AsHolder(mapping.Get());
  if (handle == nullptr) {
    error = ERROR_INVALID_HANDLE;
    return {};
  }
  std::unique_ptr<Holder> holder;
  {
    const LockFile lock = LockFile::Acquire(handle->guard, error);
    if (!lock.Held()) return {};
    // The handle holds the block, so its name still names it.
    holder = OpenHolder(handle->object, handle->guard, error);
  }
  if (!holder) return {};
  struct stat st {};
  if (::fstat(holder->fd.Get(), &st) != 0) {
    error = ErrorOfErrno(errno);
    return {};
  }
  const auto blockSize = static_cast<std::size_t>(st.st_size);
  const std::size_t length = size == 0 ? blockSize : size;
  if (length > blockSize) {
    error = ERROR_ACCESS_DENIED;  // what Windows says of a view past the block's end
    return {};
  }
  void* view = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, holder->fd.Get(), 0);
  if (view == MAP_FAILED) {
    error = ErrorOfErrno(errno);
    return {};
  }
  {
    ViewRegistry& registry = Views();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    registry.views[view] = ViewRecord{length, std::move(holder)};
  }
  error = ERROR_SUCCESS;
  return MappedView(view);
}

NamedLock AcquireNamedLock(const std::string& name, DWORD& error) {
  LockFile lock = LockFile::Acquire(ObjectName("lock", name), error);
  if (!lock.Held()) return {};
  return NamedLock(new LockFile(std::move(lock)));
}

}  // namespace host
