// Which exports the setup-library and HID-library bindings bind, into which variables.
#pragma once

#include <string_view>

namespace hid {

struct EntryBinding {
  const char* variable;
  const char* exportName;
};

// Some HID exports are bound only on newer systems.
enum class HidGate {
  kAlways,
  kNt51,  // NT family, major version >= 5 and minor version >= 1, each tested on its own
  kNt50,  // NT family, major version >= 5
};

struct HidEntryBinding {
  const char* variable;
  const char* exportName;
  HidGate gate;
};

// 396 variables from 271 distinct exports: names with an ANSI and a wide form fill three
// variables (A, W, and the plain name bound to the ANSI export); the device-interface calls are
// bound once more into alias variables.
inline constexpr int kSetupApiVariableCount = 396;
inline constexpr int kSetupApiExportCount = 271;
extern const EntryBinding kSetupApiBindings[kSetupApiVariableCount];

// 46 variables from 41 exports: five usage calls are bound twice.
inline constexpr int kHidVariableCount = 46;
inline constexpr int kHidExportCount = 41;
extern const HidEntryBinding kHidBindings[kHidVariableCount];

// The row that fills `variable` in a binding table, or -1.
template <class Row, int N>
int RowOf(const Row (&table)[N], const char* variable) {
  for (int i = 0; i < N; ++i) {
    if (std::string_view(table[i].variable) == variable) return i;
  }
  return -1;
}

}  // namespace hid
