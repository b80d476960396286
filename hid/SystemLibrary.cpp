#include "hid/SystemLibrary.h"

#include "hid/LibraryLoader.h"

namespace hid {

HMODULE LoadSystemLibrary(const std::string& name, const SystemLoader& loader) {
  if (loader.searchFlagsSupported()) {
    HMODULE module = loader.load(name.c_str(), kLoadLibrarySearchSystem32);
    // A library that is missing stays missing; only a refused flag sends us the other way.
    if (module != nullptr || loader.lastError() != ERROR_INVALID_PARAMETER) return module;
  }
  std::string path = loader.systemFolder();
  if (path.empty()) return nullptr;
  if (path.back() != '\\') path += '\\';
  path += name;
  return loader.load(path.c_str(), kLoadWithAlteredSearchPath);
}

bool RestrictLibrarySearch(const SystemLoader& loader) {
  return loader.searchFlagsSupported() && loader.setDefaultSearch(kLoadLibrarySearchSystem32);
}

#ifdef _WIN32
namespace {

HMODULE Load(const char* name, DWORD flags) {
  return LoadLibraryExA(name, nullptr, flags);
}

// The loader update brought AddDllDirectory with it; its presence is the documented test for
// whether the search flags are understood.
bool SearchFlagsSupported() {
  static const bool supported = [] {
    HMODULE kernel32 = GetModuleHandleA(kKernel32LibraryName);
    return kernel32 != nullptr && GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
  }();
  return supported;
}

std::string SystemFolder() {
  char buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(buffer, length);
}

DWORD LastError() {
  return GetLastError();
}

// Bound by name: a program that imported it would not start at all without the loader update.
bool SetDefaultSearch(DWORD flags) {
  using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
  HMODULE kernel32 = GetModuleHandleA(kKernel32LibraryName);
  if (kernel32 == nullptr) return false;
  const auto set = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  return set != nullptr && set(flags) != FALSE;
}

}  // namespace

const SystemLoader& Win32SystemLoader() {
  static const SystemLoader loader{&Load, &SearchFlagsSupported, &SystemFolder, &LastError,
                                   &SetDefaultSearch};
  return loader;
}
#endif

void RestrictLibrarySearchToSystemFolder() {
#ifdef _WIN32
  RestrictLibrarySearch(Win32SystemLoader());
#endif
}

}  // namespace hid
