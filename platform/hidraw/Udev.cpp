#include "platform/hidraw/Udev.h"

#include <dlfcn.h>

#include <type_traits>

namespace hidraw::detail {

SharedLibrary SharedLibrary::Open(const char* fileName, std::string& why) {
  // Its own symbols stay out of the program's namespace; its imports bind on first use, as they
  // would have had the program been linked with it.
  void* handle = ::dlopen(fileName, RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    why = error != nullptr ? error : std::string(fileName) + ": cannot be loaded";
  }
  return SharedLibrary(handle);
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void SharedLibrary::Reset() {
  if (handle_ != nullptr) ::dlclose(std::exchange(handle_, nullptr));
}

std::shared_ptr<const UdevLibrary> UdevLibrary::Load(const char* fileName, std::string& why) {
  std::shared_ptr<UdevLibrary> library(new UdevLibrary());
  library->library_ = SharedLibrary::Open(fileName, why);
  if (!library->library_.Loaded()) return nullptr;
  const char* missing = nullptr;
  auto bind = [&](auto& entryPoint, const char* name) {
    void* address = library->library_.Symbol(name);
    if (address == nullptr && missing == nullptr) missing = name;
    // POSIX makes a function's address from dlsym usable as a pointer to that function.
    entryPoint = reinterpret_cast<std::remove_reference_t<decltype(entryPoint)>>(address);
  };
#define TILL_UDEV_BIND(name) bind(library->name, #name);
  TILL_UDEV_ENTRY_POINTS(TILL_UDEV_BIND)
#undef TILL_UDEV_BIND
  if (missing != nullptr) {
    why = std::string(fileName) + ": no entry point " + missing;
    return nullptr;
  }
  return library;
}

}  // namespace hidraw::detail
