// A device's registry property as SetupDiGetDeviceRegistryPropertyA hands it out: REG_SZ,
// REG_MULTI_SZ and REG_DWORD values, copied into the caller's buffer under the system's size
// rules. What each backend reports for which property is its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/WinTypes.h"

namespace platform::common {

struct Property {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;  // empty: the device has no such property
};

// An empty text stands for a property the device lacks: the system leaves those unset rather
// than storing an empty string.
Property Text(const std::string& text);
Property Texts(const std::vector<std::string>& texts);
Property Dword(DWORD value);

// Four upper-case hex digits, as hardware IDs spell their numbers.
std::string Hex4(unsigned value);

// The rest of SetupDiGetDeviceRegistryPropertyA once the device is known: the required size and
// the type are reported even when the buffer is too small; a missing property is invalid data.
BOOL CopyProperty(const Property& property, DWORD* regType, BYTE* buffer, DWORD size,
                  DWORD* requiredSize);

}  // namespace platform::common
