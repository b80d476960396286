#include "host/SysUtils.h"

#include "host/Exception.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace host {
namespace {

std::string Pad(std::string digits, int width, bool negative) {
  if (negative) digits.insert(digits.begin(), '-');
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(digits.begin(), static_cast<size_t>(width) - digits.size(), ' ');
  }
  return digits;
}

std::string Hex(unsigned long long value, int minDigits, bool upper) {
  static const char* lower = "0123456789abcdef";
  static const char* upperDigits = "0123456789ABCDEF";
  const char* digits = upper ? upperDigits : lower;
  std::string out;
  do {
    out.insert(out.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < minDigits) {
    out.insert(out.begin(), static_cast<size_t>(minDigits) - out.size(), '0');
  }
  return out;
}

}  // namespace

std::string Format(const std::string& format, std::initializer_list<FormatArg> args) {
  std::string out;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    size_t start = i++;
    if (i < format.size() && format[i] == '%') {
      out += '%';
      continue;
    }
    int width = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
      width = width * 10 + (format[i++] - '0');
    }
    int precision = -1;
    if (i < format.size() && format[i] == '.') {
      precision = 0;
      ++i;
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        precision = precision * 10 + (format[i++] - '0');
      }
    }
    if (i >= format.size()) {
      out += format.substr(start);
      break;
    }
    char conv = format[i];
    std::string conversion = format.substr(start, i - start + 1);
    if (next == args.end()) {
      out += conversion;
      continue;
    }
    const FormatArg& arg = *next++;
    switch (conv) {
      case 's':
        if (const auto* s = std::get_if<std::string>(&arg)) {
          std::string text = precision >= 0 ? s->substr(0, static_cast<size_t>(precision)) : *s;
          out += Pad(text, width, false);
        } else {
          out += conversion;
        }
        break;
      case 'd':
        if (const auto* n = std::get_if<long long>(&arg)) {
          bool negative = *n < 0;
          unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(*n)
                                                  : static_cast<unsigned long long>(*n);
          std::string digits = std::to_string(magnitude);
          if (precision > static_cast<int>(digits.size())) {
            digits.insert(digits.begin(), static_cast<size_t>(precision) - digits.size(), '0');
          }
          out += Pad(digits, width, negative);
        } else {
          out += conversion;
        }
        break;
      case 'x':
      case 'X':
        if (const auto* n = std::get_if<long long>(&arg)) {
          // Like the host framework: negative numbers show their 32-bit pattern when they fit.
          unsigned long long bits = static_cast<unsigned long long>(*n);
          if (*n < 0 && *n >= INT32_MIN) bits &= 0xFFFFFFFFULL;
          out += Pad(Hex(bits, precision, conv == 'X'), width, false);
        } else {
          out += conversion;
        }
        break;
      default:
        out += conversion;
        break;
    }
  }
  return out;
}

std::string IntToStr(long long value) {
  return std::to_string(value);
}

std::string IntToHex(long long value, int digits) {
  return Hex(static_cast<unsigned long long>(value), digits, true);
}

long long StrToIntDef(const std::string& text, long long fallback) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return fallback;
  unsigned long long value = 0;
  for (; i < text.size(); ++i) {
    int d;
    char c = text[i];
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return fallback;
    }
    // Checked before the step: past 64 bits it would wrap round to a small number.
    if (value > (0x7FFFFFFFFFFFFFFFULL - static_cast<unsigned>(d)) / static_cast<unsigned>(base)) {
      return fallback;
    }
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
  }
  long long signedValue = static_cast<long long>(value);
  return negative ? -signedValue : signedValue;
}

std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string SysErrorMessage(std::uint32_t errorCode) {
#ifdef _WIN32
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n != 0 && buffer != nullptr) text.assign(buffer, buffer + n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
    text.pop_back();
  }
  return Utf16ToUtf8(text);
#else
  return std::system_category().message(static_cast<int>(errorCode));
#endif
}

void RaiseLastOSError(std::uint32_t errorCode) {
  throw EOSError(
      "System Error.  Code: " + std::to_string(errorCode) + ".\n" + SysErrorMessage(errorCode),
      errorCode);
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    unsigned c = byte(i);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size() && (byte(i + 1) & 0xC0) == 0x80) {
      cp = ((c & 0x1F) << 6) | (byte(i + 1) & 0x3F);
      len = 2;
      if (cp < 0x80) cp = 0xFFFD;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size() && (byte(i + 1) & 0xC0) == 0x80 &&
               (byte(i + 2) & 0xC0) == 0x80) {
      cp = ((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size() && (byte(i + 1) & 0xC0) == 0x80 &&
               (byte(i + 2) & 0xC0) == 0x80 && (byte(i + 3) & 0xC0) == 0x80) {
      cp = ((c & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) |
           (byte(i + 3) & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

char PathDelim() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

bool IsPathDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

std::string ExtractFilePath(const std::string& path) {
  size_t i = path.size();
  while (i > 0 && !IsPathDelimiter(path[i - 1])
#ifdef _WIN32
         && path[i - 1] != ':'
#endif
  ) {
    --i;
  }
  return path.substr(0, i);
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  std::string out = path;
  while (!out.empty() && IsPathDelimiter(out.back())) out.pop_back();
  return out;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && IsPathDelimiter(path.back())) return path;
  return path + PathDelim();
}

std::filesystem::path FsPath(const std::string& utf8) {
#ifdef _WIN32
  std::u16string wide = Utf8ToUtf16(utf8);
  return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
  return std::filesystem::path(utf8);
#endif
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(FsPath(path).c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(FsPath(path), ec);
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(FsPath(path), ec) && !ec;
}

}  // namespace host
