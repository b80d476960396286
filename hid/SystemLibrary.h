// Loading a system library (HID.dll, SetupApi.dll, kernel32.dll) from the system folder and from
// nowhere else: a library of the same name dropped beside the program or in the current folder
// must never be loaded in its place.
//
// The system-folder-only search flag is what says so, but Windows 7 without its loader update
// (still found on point-of-sale machines) refuses that flag outright. There the library is loaded
// by its full path in the system folder instead; never by the ordinary search path.
#pragma once

#include <string>

#include "host/WinDefs.h"

namespace hid {

// LoadLibraryExA flags, by value: the logic below is built and tested on every platform.
inline constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
// With a full path: the library's own dependencies are looked for in its folder first.
inline constexpr DWORD kLoadWithAlteredSearchPath = 0x00000008;

// The system's loader as LoadSystemLibrary uses it; tests stand in for it.
struct SystemLoader {
  HMODULE (*load)(const char* name, DWORD flags);  // LoadLibraryExA
  bool (*searchFlagsSupported)();                  // the loader update is present
  std::string (*systemFolder)();                   // "" when it cannot be had
  DWORD (*lastError)();
};

HMODULE LoadSystemLibrary(const std::string& name, const SystemLoader& loader);

#ifdef _WIN32
const SystemLoader& Win32SystemLoader();
#endif

}  // namespace hid
