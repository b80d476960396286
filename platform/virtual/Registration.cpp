// Puts the three virtual libraries into the loader's registry. The bindings resolve every export
// they name, so each library also carries the exports the HID layer never calls, as entry points
// that fail.
#include <set>

#include "hid/BindingTables.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/Services.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid {
namespace {

// Stands in for every unused export, whatever its parameters: on x86-64 the caller cleans up
// the arguments, and all of them read a zero result as failure (FALSE, a null handle or an
// unsuccessful count).
ULONG_PTR WINAPI NotImplemented() {
  detail::SetError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

template <class Row, std::size_t N>
hid::SymbolTable WithStubs(hid::SymbolTable implemented, const Row (&rows)[N]) {
  std::set<std::string> present;
  for (const auto& [name, address] : implemented) present.insert(name);
  for (const Row& row : rows) {
    if (present.insert(row.exportName).second) {
      implemented.emplace_back(row.exportName, detail::ToFarProc(&NotImplemented));
    }
  }
  return implemented;
}

}  // namespace

void RegisterLibraries() {
  hid::RegisterLibrary(kHidLibraryName, WithStubs(detail::HidSymbols(), hid::kHidBindings));
  hid::RegisterLibrary(kSetupApiLibraryName,
                       WithStubs(detail::SetupApiSymbols(), hid::kSetupApiBindings));
  hid::RegisterLibrary(kKernel32LibraryName, detail::Kernel32Symbols());
}

void UnregisterLibraries() {
  hid::UnregisterLibrary(kHidLibraryName);
  hid::UnregisterLibrary(kSetupApiLibraryName);
  hid::UnregisterLibrary(kKernel32LibraryName);
}

bool LibrariesRegistered() {
  return hid::IsLibraryRegistered(kHidLibraryName) &&
         hid::IsLibraryRegistered(kSetupApiLibraryName) &&
         hid::IsLibraryRegistered(kKernel32LibraryName);
}

}  // namespace virtualhid
