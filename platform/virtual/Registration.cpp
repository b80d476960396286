// Puts the three virtual libraries into the loader's registry.
#include <string_view>

#include "platform/common/Exports.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid {

namespace common = platform::common;

// The public names and the ones registered under must not drift apart.
static_assert(std::string_view(kHidLibraryName) == common::kHidLibraryName);
static_assert(std::string_view(kSetupApiLibraryName) == common::kSetupApiLibraryName);
static_assert(std::string_view(kKernel32LibraryName) == common::kKernel32LibraryName);

void RegisterLibraries() {
  common::RegisterLibraries(detail::HidEntries(), detail::SetupApiEntries(),
                            detail::Kernel32Entries());
}

void UnregisterLibraries() {
  common::UnregisterLibraries();
}

bool LibrariesRegistered() {
  return common::LibrariesRegistered();
}

}  // namespace virtualhid
