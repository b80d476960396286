#include "host/Process.h"

#include <cstdlib>
#include <cwchar>
#include <mutex>

#include "host/SysUtils.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "host/win32/KernelHandle.h"
#else
#include <unistd.h>
#include <climits>
#endif

namespace host {
namespace {

std::vector<std::string>& Params() {
  static std::vector<std::string> params;
  return params;
}

}  // namespace

void InitCommandLine(int argc, char** argv) {
  std::vector<std::string> params;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) {
      std::wstring w(wide[i]);
      params.push_back(Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    LocalFree(wide);
  }
#else
  for (int i = 0; i < argc; ++i) params.emplace_back(argv[i]);
#endif
  Params() = std::move(params);
}

void SetCommandLine(std::vector<std::string> params) {
  Params() = std::move(params);
}

int ParamCount() {
  int n = static_cast<int>(Params().size());
  return n > 0 ? n - 1 : 0;
}

std::string ParamStr(int index) {
  if (index < 0 || index >= static_cast<int>(Params().size())) return "";
  return Params()[static_cast<size_t>(index)];
}

std::string ModuleFileName() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return Utf16ToUtf8(std::u16string(buffer.begin(), buffer.end()));
#else
  std::string buffer(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return "";
  buffer.resize(static_cast<size_t>(n));
  return buffer;
#endif
}

std::string NormalisedPath(const std::string& path) {
#ifdef _WIN32
  const std::u16string given = Utf8ToUtf16(path);
  std::wstring wide(given.begin(), given.end());
  // No access asked for: the handle only names the file, whoever holds it open and however.
  HANDLE opened =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const win32::KernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  if (file) {
    std::wstring known(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file.Get(), known.data(), static_cast<DWORD>(known.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= known.size()) {
      known.resize(n);
      n = GetFinalPathNameByHandleW(file.Get(), known.data(), static_cast<DWORD>(known.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (n > 0 && n < known.size()) {
      known.resize(n);
      // The system's own spelling starts \\?\ (\\?\UNC\ for a share); the drive form is the one
      // a person and the program's start know.
      if (known.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        known = L"\\\\" + known.substr(8);
      } else if (known.rfind(L"\\\\?\\", 0) == 0) {
        known = known.substr(4);
      }
      wide = known;
    }
  }
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
#else
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
#endif
}

std::string EnvironmentValue(const char* name) {
#ifdef _WIN32
  std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  if (value == nullptr) return {};
  std::u16string text(value, value + std::wcslen(value));
  return Utf16ToUtf8(text);
#else
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read at start-up
  return value != nullptr ? value : "";
#endif
}

}  // namespace host
