// Loading libraries by name and finding their entry points. A library registered in-process
// under a name (the virtual HID services, the Linux hidraw services, a test's own table) wins
// over the system's loader; on Windows the system libraries are loaded from the system folder
// only, never from the current or the program's folder.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/WinDefs.h"

namespace hid {

// The libraries the HID layer binds, by the names it loads them under: the system's own on
// Windows, and the names the in-process services register under.
inline constexpr const char* kHidLibraryName = "HID.dll";
inline constexpr const char* kSetupApiLibraryName = "SetupApi.dll";
inline constexpr const char* kKernel32LibraryName = "kernel32.dll";

// A loaded library, freed by its owner. Each load holds the library once more, as LoadLibrary's
// counted handles do, and each owner frees only its own.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  // Loads `name`; Get() is null when it cannot be loaded.
  explicit LibraryHandle(const std::string& name) { Open(name); }
  LibraryHandle(LibraryHandle&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  LibraryHandle& operator=(LibraryHandle&& other) noexcept {
    if (this != &other) {
      Close();
      module_ = std::exchange(other.module_, nullptr);
    }
    return *this;
  }
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  ~LibraryHandle() { Close(); }

  // Loads `name` unless a library is held already (which then stays, and counts as loaded);
  // true when one is held afterwards.
  bool Open(const std::string& name);
  // Frees the library if one is held; none is held afterwards in any case.
  void Close();
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

// The entry point `name` of a loaded library, or null (also for a null handle).
FARPROC FindSymbol(HMODULE handle, const std::string& name);
// As FindSymbol; `allFound` becomes false when the entry point is missing (never true again).
FARPROC BindSymbol(HMODULE handle, const std::string& name, bool& allFound);

// Entry points travel as FARPROC and are called through their own types: this converts between
// function-pointer types, to FARPROC and back. The detour through void(*)() is the one cast
// between function types that compilers take as deliberate on every target, and such a cast is
// the very thing a binding by name does.
template <class To, class From>
To FunctionCast(From function) {
  static_assert(std::is_function_v<std::remove_pointer_t<To>> &&
                std::is_function_v<std::remove_pointer_t<From>>);
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

using SymbolTable = std::vector<std::pair<std::string, FARPROC>>;

// Provides a library in-process under `name` (compared case-insensitively). A later registration
// under the same name replaces the earlier one for new loads; handles already open keep theirs.
void RegisterLibrary(const std::string& name, SymbolTable symbols);
void UnregisterLibrary(const std::string& name);
bool IsLibraryRegistered(const std::string& name);
// How many handles to registered libraries are open (tests check that releases happen).
int OpenRegisteredHandles(const std::string& name);

}  // namespace hid
