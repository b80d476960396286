#include "platform/common/ProductString.h"

#include <cstdint>

#include "host/SysUtils.h"
#include "platform/common/LastError.h"

namespace platform::common {
namespace {

constexpr std::size_t kMaxUsbStringLength = 126;

}  // namespace

std::u16string UsbString(const std::string& utf8) {
  std::u16string wide = host::Utf8ToUtf16(utf8);
  if (wide.size() > kMaxUsbStringLength) wide.resize(kMaxUsbStringLength);
  return wide;
}

BOOLEAN CopyProductString(const std::u16string& text, PVOID buffer, ULONG length) {
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  if (length < bytes) {
    SetError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char16_t c = i < text.size() ? text[i] : u'\0';
    out[2 * i] = static_cast<std::uint8_t>(c & 0xFF);  // UTF-16LE, as the system serves it
    out[2 * i + 1] = static_cast<std::uint8_t>(c >> 8);
  }
  return 1;
}

}  // namespace platform::common
