// Named shared memory and the named lock on Windows: the kernel's own objects, straight through.
#include "host/SharedMemory.h"

#include <windows.h>

namespace host {
namespace {

// Mutexes and mappings share one namespace of kernel objects: the lock's names get a prefix of
// their own, so the lock "x" and the block "x" are two objects.
constexpr const char* kLockPrefix = "TillNamedLock.";

}  // namespace

void MappingRelease::operator()(HANDLE mapping) const noexcept {
  CloseHandle(mapping);
}

void ViewRelease::operator()(void* view) const noexcept {
  UnmapViewOfFile(view);
}

void NamedLockRelease::operator()(HANDLE lock) const noexcept {
  ReleaseMutex(lock);
  CloseHandle(lock);
}

MappingHandle CreateNamedMapping(const std::string& name, DWORD size, bool& alreadyExisted,
                                 DWORD& error) {
  alreadyExisted = false;
  MappingHandle mapping(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str()));
  // Read at once: the next system call may change it.
  error = GetLastError();
  if (!mapping) return {};
  alreadyExisted = error == ERROR_ALREADY_EXISTS;
  error = ERROR_SUCCESS;
  return mapping;
}

MappingHandle OpenNamedMapping(const std::string& name, DWORD& error) {
  MappingHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
  error = mapping ? ERROR_SUCCESS : GetLastError();
  return mapping;
}

MappedView MapView(const MappingHandle& mapping, std::size_t size, DWORD& error) {
  MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
  error = view ? ERROR_SUCCESS : GetLastError();
  return view;
}

NamedLock AcquireNamedLock(const std::string& name, DWORD& error) {
  const std::string lockName = kLockPrefix + name;
  // Taken by the wait below; if the wait fails, releasing a mutex we do not own fails harmlessly.
  NamedLock lock(CreateMutexA(nullptr, FALSE, lockName.c_str()));
  if (!lock.Held()) {
    error = GetLastError();
    return {};
  }
  const DWORD wait = WaitForSingleObject(lock.lock_.Get(), INFINITE);
  // An abandoned mutex is ours now: its holder ended without releasing it.
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    error = wait == WAIT_FAILED ? GetLastError() : ERROR_GEN_FAILURE;
    return {};
  }
  error = ERROR_SUCCESS;
  return lock;
}

}  // namespace host
