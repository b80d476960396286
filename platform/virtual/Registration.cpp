// Puts the three virtual libraries into the loader's registry.
#include "platform/common/Exports.h"
#include "platform/virtual/Layers.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid {

namespace common = platform::common;

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
