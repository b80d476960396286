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
  bool (*setDefaultSearch)(DWORD flags);  // SetDefaultDllDirectories; false when refused
};

HMODULE LoadSystemLibrary(const std::string& name, const SystemLoader& loader);

// Makes the system folder the only place that any later load by a bare name searches, whoever
// asks: the C++ runtime, the system's own libraries, a DLL loaded on our behalf. Without the
// loader update the search stays as it was (LoadSystemLibrary's full paths still hold for our
// own loads). True when the restriction is in force.
bool RestrictLibrarySearch(const SystemLoader& loader);

// The process's own restriction, the first thing each program does: a till is shared, and the
// point-of-sale software may run the programs elevated from a folder its users can write to.
// Nothing off Windows.
void RestrictLibrarySearchToSystemFolder();

#ifdef _WIN32
const SystemLoader& Win32SystemLoader();
#endif

}  // namespace hid
