// Preparsed data as the HID library hands it out: an opaque blob per HidD_GetPreparsedData call
// that holds the capabilities HidP_GetCaps reads back, alive until HidD_FreePreparsedData. What
// the capabilities are is the backend's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

#include "hid/WinTypes.h"

namespace platform::common {

// Not locked: the backend's lock guards it with the rest of its state.
class PreparsedTable {
 public:
  PHIDP_PREPARSED_DATA Add(const HIDP_CAPS& caps);
  bool Free(PHIDP_PREPARSED_DATA data);  // false: not one of ours, or freed already
  // HidP_GetCaps.
  NTSTATUS Caps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) const;

  std::size_t Count() const { return blobs_.size(); }
  void Clear() { blobs_.clear(); }

 private:
  struct Blob {
    std::uint32_t tag;
    HIDP_CAPS caps;
  };
  std::map<const void*, std::unique_ptr<Blob>> blobs_;
};

}  // namespace platform::common
