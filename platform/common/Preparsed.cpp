#include "platform/common/Preparsed.h"

namespace platform::common {
namespace {

// Leads each blob, as a signature leads the system's own preparsed data.
constexpr std::uint32_t kPreparsedTag = 0x48494450;  // "HIDP"

}  // namespace

PHIDP_PREPARSED_DATA PreparsedTable::Add(const HIDP_CAPS& caps) {
  auto blob = std::make_unique<Blob>(Blob{kPreparsedTag, caps});
  auto* data = reinterpret_cast<PHIDP_PREPARSED_DATA>(blob.get());
  blobs_[blob.get()] = std::move(blob);
  return data;
}

bool PreparsedTable::Free(PHIDP_PREPARSED_DATA data) {
  return blobs_.erase(data) != 0;
}

NTSTATUS PreparsedTable::Caps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) const {
  auto it = blobs_.find(data);
  if (it == blobs_.end() || caps == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  *caps = it->second->caps;
  return HIDP_STATUS_SUCCESS;
}

}  // namespace platform::common
