// Feeds arbitrary bytes to the report-descriptor parser. Besides the sanitizers' own checks, the
// result must be consistent with itself whatever the input: a broken invariant traps, and
// counts as a finding like a crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/hidraw/Descriptor.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const hidraw::DescriptorCaps caps = hidraw::ParseReportDescriptor(data, size);

  std::uint16_t longestFeature = 0;
  for (std::size_t id = 0; id < 256; ++id) {
    const std::uint16_t length = caps.featureReportLengths[id];
    Require(caps.featureReportIds.test(id) == (length != 0));
    longestFeature = std::max(longestFeature, length);
  }
  Require(caps.featureReportByteLength == longestFeature);
  // Any report counts its ID byte; a kind without reports is 0.
  Require(caps.inputReportIds.none() == (caps.inputReportByteLength == 0));
  Require(caps.featureReportIds.none() == (caps.featureReportByteLength == 0));
  // Reports with a number other than 0 exist only where the descriptor declares report IDs.
  std::bitset<256> numbered = caps.inputReportIds | caps.featureReportIds;
  numbered.reset(0);
  Require(numbered.none() || caps.usesReportIds);
  if (caps.valid) Require(caps.linkCollectionNodes >= 1);

  // The same bytes always give the same answer.
  const hidraw::DescriptorCaps again = hidraw::ParseReportDescriptor(data, size);
  Require(again.valid == caps.valid && again.usagePage == caps.usagePage &&
          again.usage == caps.usage && again.inputReportByteLength == caps.inputReportByteLength &&
          again.outputReportByteLength == caps.outputReportByteLength &&
          again.featureReportByteLength == caps.featureReportByteLength);
  return 0;
}
