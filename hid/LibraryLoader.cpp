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

Registry& TheRegistry() {
  static Registry registry;
  return registry;
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

bool OpenLibrary(HMODULE& handle, const std::string& name) {
  if (handle != nullptr) return true;
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
      handle = h;
      return true;
    }
  }
#ifdef _WIN32
  handle = LoadSystemLibrary(name, Win32SystemLoader());
#endif
  return handle != nullptr;
}

void CloseLibrary(HMODULE& handle) {
  if (handle != nullptr) {
    Registry& r = TheRegistry();
    bool registered = false;
    {
      std::lock_guard<std::mutex> lock(r.mutex);
      auto it = r.open.find(handle);
      if (it != r.open.end()) {
        --it->second->openHandles;
        r.open.erase(it);
        registered = true;
      }
    }
#ifdef _WIN32
    if (!registered) FreeLibrary(handle);
#else
    (void)registered;
#endif
  }
  handle = nullptr;
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
