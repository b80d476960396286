// String, number and path helpers the units use, with the host framework's names and rules.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <variant>

namespace host {

// One argument of Format: a text or a whole number.
using FormatArg = std::variant<std::string, long long>;

// Supports the conversions the system uses: %s, %d, %x, %X, with an optional width and an
// optional precision (for %x the precision is the least number of digits, as in "%.4x"), and %%.
// An argument of the wrong kind or a missing argument yields the conversion text unchanged
// rather than undefined output.
std::string Format(const std::string& format, std::initializer_list<FormatArg> args);

std::string IntToStr(long long value);
// Upper-case hexadecimal, at least `digits` digits; negative values as their 64-bit pattern.
std::string IntToHex(long long value, int digits);
// Decimal, or hexadecimal after "$" or "0x"; optional sign. Anything else gives the default.
long long StrToIntDef(const std::string& text, long long fallback);
// Letters a-z only, as the host framework's UpperCase does: other bytes stay as they are.
std::string UpperCase(const std::string& text);
// The system's text for an error code ("The system cannot find the file specified." on Windows).
std::string SysErrorMessage(std::uint32_t errorCode);
// Raises EOSError for the system's error code: "System Error.  Code: <n>.", a line break and the
// system's text for it.
[[noreturn]] void RaiseLastOSError(std::uint32_t errorCode);

// UTF-8 <-> UTF-16. Invalid input is replaced by U+FFFD, never dropped silently.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// Paths. Both separators count as path delimiters on Windows; only '/' elsewhere.
char PathDelim();
bool IsPathDelimiter(char c);
std::string ExtractFilePath(const std::string& path);  // keeps the trailing delimiter
std::string ExcludeTrailingPathDelimiter(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);

// A filesystem path from a UTF-8 text, whatever the platform's narrow encoding is.
std::filesystem::path FsPath(const std::string& utf8);
bool FileExists(const std::string& path);
// fopen of a UTF-8 path on every platform; mode is ASCII ("wb", "ab"). errno tells why on failure.
std::FILE* OpenFile(const std::string& path, const char* mode);
bool RemoveFile(const std::string& path);

}  // namespace host
