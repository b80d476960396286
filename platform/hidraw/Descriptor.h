// What the HID layer needs to know of an interface's report descriptor, worked out the way the
// Windows HID parser reports it: report byte lengths that count the report ID byte whether or not
// the device numbers its reports, and the usage of the first top-level collection.
//
// The descriptor comes from the device, so it is treated as hostile: every read is bounds-checked,
// nothing recurses, the global-item stack has a fixed depth, and report sizes saturate instead of
// overflowing.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

namespace hidraw {

struct DescriptorCaps {
  // False when the descriptor is malformed (a truncated item, an unbalanced collection or global
  // stack, report ID 0, a report longer than a length field can hold, no collection at all).
  // The system's own parser refuses such an interface, so the services refuse it too.
  bool valid = false;

  std::uint16_t usagePage = 0;  // of the first top-level collection
  std::uint16_t usage = 0;
  // 1 + the largest report of each kind in whole bytes; 0 when there is no report of that kind.
  std::uint16_t inputReportByteLength = 0;
  std::uint16_t outputReportByteLength = 0;
  std::uint16_t featureReportByteLength = 0;
  std::uint16_t linkCollectionNodes = 0;  // every collection, nested ones included

  // Whether the descriptor declares report IDs. Without them, reports travel on Linux without an
  // ID byte, and on Windows with a 0 in front.
  bool usesReportIds = false;
  std::bitset<256> inputReportIds;
  std::bitset<256> featureReportIds;
  // Each feature report's length with its ID byte (0 for an ID the device does not have): a SET
  // must send exactly that many bytes, as a device may refuse a longer one.
  std::array<std::uint16_t, 256> featureReportLengths{};
};

DescriptorCaps ParseReportDescriptor(const std::uint8_t* data, std::size_t size);

}  // namespace hidraw
