#include "hid/LibraryLoader.h"

#include <map>
#include <memory>
#include <mutex>

#include "hid/SystemLibrary.h"
#include "host/SysUtils.h"

namespace hid {
namespace {

struct RegisteredLibrary {
  std::string name;
  std::map<std::string, FARPROC> symbols;
  int openHandles = 0;
};

// Registered libraries by upper-cased name, and every open handle to one. The reader threads
// look up CancelIo from their own thread, so this is guarded.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<RegisteredLibrary>> byName;
  std::map<HMODULE, std::shared_ptr<RegisteredLibrary>> open;
  std::uintptr_t nextHandle = 0x7E570000;
};

// Never destroyed: a library held by an object of static storage may be freed after the
// registry's own destruction would have come.
Registry& TheRegistry() {
  static auto* registry = new Registry();
  return *registry;
}

std::string Key(const std::string& name) {
  return host::UpperCase(name);
}

}  // namespace

void RegisterLibrary(const std::string& name, SymbolTable symbols) {
  auto library = std::make_shared<RegisteredLibrary>();
  library->name = name;
  for (auto& [symbol, address] : symbols) library->symbols[symbol] = address;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.byName[Key(name)] = std::move(library);
}

void UnregisterLibrary(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.byName.erase(Key(name));
}

bool IsLibraryRegistered(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.byName.count(Key(name)) != 0;
}

int OpenRegisteredHandles(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  int n = 0;
  for (const auto& [handle, library] : r.open) {
    if (Key(library->name) == Key(name)) ++n;
  }
  return n;
}

bool LibraryHandle::Open(const std::string& name) {
  if (module_ != nullptr) return true;
  Registry& r = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.byName.find(Key(name));
    if (it != r.byName.end()) {
      // Each load gets a handle of its own, as LoadLibrary's counted handles behave.
      r.nextHandle += 0x10;
      HMODULE h = reinterpret_cast<HMODULE>(r.nextHandle);
      r.open[h] = it->second;
      ++it->second->openHandles;
      module_ = h;
      return true;
    }
  }
#ifdef _WIN32
  module_ = LoadSystemLibrary(name, Win32SystemLoader());
#endif
  return module_ != nullptr;
}

void LibraryHandle::Close() {
  if (module_ != nullptr) {
    Registry& r = TheRegistry();
    bool registered = false;
    {
      std::lock_guard<std::mutex> lock(r.mutex);
      auto it = r.open.find(module_);
      if (it != r.open.end()) {
        --it->second->openHandles;
        r.open.erase(it);
        registered = true;
      }
    }
#ifdef _WIN32
    if (!registered) FreeLibrary(module_);
#else
    (void)registered;
#endif
  }
  module_ = nullptr;
}

FARPROC FindSymbol(HMODULE handle, const std::string& name) {
  if (handle == nullptr) return nullptr;
  Registry& r = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.open.find(handle);
    if (it != r.open.end()) {
      auto symbol = it->second->symbols.find(name);
      return symbol != it->second->symbols.end() ? symbol->second : nullptr;
    }
  }
#ifdef _WIN32
  return GetProcAddress(handle, name.c_str());
#else
  return nullptr;
#endif
}

FARPROC BindSymbol(HMODULE handle, const std::string& name, bool& allFound) {
  FARPROC address = FindSymbol(handle, name);
  if (address == nullptr) allFound = false;
  return address;
}

}  // namespace hid
