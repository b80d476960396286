// Colours, fonts and reading order as forms and controls describe them; a backend turns them into
// the system's own objects.
#pragma once

#include <cstdint>
#include <string>

namespace host {

// A colour: 0x00BBGGRR, or one of the system's colours (kSystemColor with the system's index).
using TColor = std::uint32_t;
inline constexpr TColor kSystemColor = 0x80000000;
inline constexpr TColor clBtnFace = kSystemColor | 15;  // COLOR_BTNFACE

inline constexpr bool IsSystemColor(TColor color) {
  return (color & kSystemColor) != 0;
}

// Right to left: right-to-left reading order and right-aligned texts. The layout itself is not
// mirrored; the positions a form gives its controls already say where each one stands.
enum class TBiDiMode { bdLeftToRight, bdRightToLeft };

struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = 11;  // character height in pixels
  bool Bold = false;

  friend bool operator==(const TFont&, const TFont&) = default;
};

}  // namespace host
