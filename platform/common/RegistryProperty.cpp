#include "platform/common/RegistryProperty.h"

#include <cstdio>
#include <cstring>

#include "platform/common/LastError.h"

namespace platform::common {

Property Text(const std::string& text) {
  if (text.empty()) return {};
  Property p{REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end())};
  p.bytes.push_back(0);
  return p;
}

Property Texts(const std::vector<std::string>& texts) {
  Property p{REG_MULTI_SZ, {}};
  for (const std::string& t : texts) {
    p.bytes.insert(p.bytes.end(), t.begin(), t.end());
    p.bytes.push_back(0);
  }
  p.bytes.push_back(0);
  return p;
}

Property Dword(DWORD value) {
  Property p{REG_DWORD, std::vector<std::uint8_t>(4)};
  std::memcpy(p.bytes.data(), &value, 4);
  return p;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
  return text;
}

BOOL CopyProperty(const Property& property, DWORD* regType, BYTE* buffer, DWORD size,
                  DWORD* requiredSize) {
  if (property.bytes.empty()) return Fail(kErrorInvalidData);
  const DWORD needed = static_cast<DWORD>(property.bytes.size());
  if (requiredSize != nullptr) *requiredSize = needed;
  if (regType != nullptr) *regType = property.type;
  if (buffer == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, property.bytes.data(), needed);
  return TRUE;
}

}  // namespace platform::common
