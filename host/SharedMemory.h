// Named shared memory and a named lock, shared by the processes of one machine (one Windows
// session). On Windows these are the kernel's file mappings and mutexes themselves; elsewhere
// (host/posix/SharedMemory.cpp) they are files in the shared-memory file system that follow the
// same rules: a block lives while any handle to it does, and two handles of one name in one process
// behave like two processes' handles. Error codes are the system's (ERROR_FILE_NOT_FOUND, ...) on
// every platform, so a failure reads the same everywhere.
#pragma once

#include <cstddef>
#include <string>

#include "host/UniqueHandle.h"
#include "host/WinDefs.h"

namespace host {

struct MappingRelease {
  void operator()(HANDLE mapping) const noexcept;
};
struct ViewRelease {
  void operator()(void* view) const noexcept;
};
struct NamedLockRelease {
  void operator()(HANDLE lock) const noexcept;
};

// A handle of a named block of memory; the block lives while any handle to it (or view of it) does.
using MappingHandle = UniqueHandle<HANDLE, MappingRelease>;
// A view of a block, mapped into this process.
using MappedView = UniqueHandle<void*, ViewRelease>;

// Creates the block `name` of `size` bytes (zero-filled), or gets a handle of the one that lives:
// `alreadyExisted` then tells so (and the block keeps its size and content). Empty, with `error`
// set, on failure.
MappingHandle CreateNamedMapping(const std::string& name, DWORD size, bool& alreadyExisted,
                                 DWORD& error);
// A handle of the living block `name`; empty with error ERROR_FILE_NOT_FOUND when none lives.
MappingHandle OpenNamedMapping(const std::string& name, DWORD& error);
// Maps the first `size` bytes of the block for reading and writing; empty on failure.
MappedView MapView(const MappingHandle& mapping, std::size_t size, DWORD& error);

// A lock shared by the processes of one machine, held while the object lives. Its names are apart
// from the blocks' names: a process holding the lock "x" can still create or open the block "x".
// Not re-entrant: a thread holds one lock of a name at a time, and releases it on the thread that
// took it.
class NamedLock {
 public:
  NamedLock() = default;
  bool Held() const { return static_cast<bool>(lock_); }

 private:
  friend NamedLock AcquireNamedLock(const std::string& name, DWORD& error);
  explicit NamedLock(HANDLE lock) : lock_(lock) {}
  UniqueHandle<HANDLE, NamedLockRelease> lock_;
};

// Waits, without spinning, until no one else holds the lock `name`, and takes it. A lock whose
// holder ended without releasing it counts as free. Not held, with `error` set, on failure.
NamedLock AcquireNamedLock(const std::string& name, DWORD& error);

}  // namespace host
