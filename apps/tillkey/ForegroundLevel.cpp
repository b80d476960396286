#include "apps/tillkey/ForegroundLevel.h"

namespace tillkey {
namespace {

constexpr std::uint32_t kHighLevel = 0x3000;

std::string LevelName(std::uint32_t integrity) {
  if (integrity >= 0x4000) return "system";
  if (integrity >= kHighLevel) return "high (administrator)";
  if (integrity >= 0x2000) return "medium";
  return "low";
}

}  // namespace

std::string ForegroundLevelNote(const ProcessLevel& own, const ProcessLevel& foreground) {
  constexpr const char* kConsequence =
      "keys typed into it do not reach tillkey's hotkey (start tillkey at that level, README)";
  // A uiAccess program sees the keys of every level.
  if (own.uiAccess) return {};
  if (!foreground.known) {
    // A program tillkey cannot look into: from below, that is how an elevated one looks; from
    // high up it is one of the system's own.
    if (own.known && own.integrity >= kHighLevel) return {};
    return "its level cannot be read; if it runs as administrator, " + std::string(kConsequence);
  }
  if (!own.known || foreground.integrity <= own.integrity) return {};
  return "it runs at the " + LevelName(foreground.integrity) + " level, tillkey at the " +
         LevelName(own.integrity) + " level: " + kConsequence;
}

}  // namespace tillkey
