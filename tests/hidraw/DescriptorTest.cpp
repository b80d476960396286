// The report-descriptor parser: the capability values Windows gives for descriptors of real
// kinds of device, and its conduct on malformed and hostile ones.
#include <gtest/gtest.h>

#include "platform/hidraw/Descriptor.h"
#include "tests/hidraw/Descriptors.h"

namespace {

using hidraw::DescriptorCaps;
using hidraw::ParseReportDescriptor;
using hidraw::descriptors::Bytes;

DescriptorCaps Parse(const Bytes& bytes) {
  return ParseReportDescriptor(bytes.data(), bytes.size());
}

struct Expected {
  std::uint16_t usagePage;
  std::uint16_t usage;
  std::uint16_t input;
  std::uint16_t output;
  std::uint16_t feature;
  std::uint16_t collections;
  bool reportIds;
};

void ExpectCaps(const DescriptorCaps& caps, const Expected& e) {
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.usagePage, e.usagePage);
  EXPECT_EQ(caps.usage, e.usage);
  EXPECT_EQ(caps.inputReportByteLength, e.input);
  EXPECT_EQ(caps.outputReportByteLength, e.output);
  EXPECT_EQ(caps.featureReportByteLength, e.feature);
  EXPECT_EQ(caps.linkCollectionNodes, e.collections);
  EXPECT_EQ(caps.usesReportIds, e.reportIds);
}

// The drawer's descriptor with `item` put in before its End Collection.
Bytes DrawerWith(const Bytes& item) {
  Bytes bytes = hidraw::descriptors::kDrawer;
  bytes.insert(bytes.end() - 1, item.begin(), item.end());
  return bytes;
}

// A vendor collection around the given items.
Bytes Collection(const Bytes& items) {
  Bytes bytes = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
  bytes.insert(bytes.end(), items.begin(), items.end());
  bytes.push_back(0xC0);
  return bytes;
}

TEST(HidrawDescriptor, BootKeyboard) {
  ExpectCaps(Parse(hidraw::descriptors::kBootKeyboard), {0x01, 0x06, 9, 2, 0, 1, false});
}

TEST(HidrawDescriptor, MouseWithNestedPhysicalCollection) {
  ExpectCaps(Parse(hidraw::descriptors::kMouse), {0x01, 0x02, 4, 0, 0, 2, false});
}

TEST(HidrawDescriptor, DrawerHasFiveByteFeatureAndInputReports) {
  const DescriptorCaps caps = Parse(hidraw::descriptors::kDrawer);
  ExpectCaps(caps, {0xFFA0, 0x01, 5, 0, 5, 1, false});
  EXPECT_TRUE(caps.featureReportIds.test(0));
  EXPECT_EQ(caps.featureReportLengths[0], 5);
  EXPECT_EQ(caps.featureReportIds.count(), 1u);
}

TEST(HidrawDescriptor, ReportIdsCountTheIdByteOnceAndTheFirstCollectionNamesTheDevice) {
  const DescriptorCaps caps = Parse(hidraw::descriptors::kKeyboardWithConsumer);
  ExpectCaps(caps, {0x01, 0x06, 9, 2, 0, 2, true});
  EXPECT_TRUE(caps.inputReportIds.test(1));
  EXPECT_TRUE(caps.inputReportIds.test(2));
  EXPECT_FALSE(caps.inputReportIds.test(0));
}

TEST(HidrawDescriptor, NumberedFeatureReportsEachKeepTheirOwnLength) {
  const DescriptorCaps caps = Parse(hidraw::descriptors::kNumberedFeatures);
  ExpectCaps(caps, {0xFF00, 0x20, 4, 0, 8, 1, true});
  EXPECT_EQ(caps.featureReportLengths[3], 3);
  EXPECT_EQ(caps.featureReportLengths[7], 8);  // 52 bits round up to 7 bytes
  EXPECT_EQ(caps.featureReportLengths[9], 0);  // an input report only
  EXPECT_EQ(caps.featureReportIds.count(), 2u);
}

TEST(HidrawDescriptor, BitsAreRoundedUpToWholeBytes) {
  // A 12-bit input and a 1-bit output: 2 and 1 bytes, plus the ID byte.
  const DescriptorCaps caps =
      Parse(Collection({0x75, 0x0C, 0x95, 0x01, 0x81, 0x02, 0x75, 0x01, 0x91, 0x02}));
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.inputReportByteLength, 3);
  EXPECT_EQ(caps.outputReportByteLength, 2);
  EXPECT_EQ(caps.featureReportByteLength, 0);
}

TEST(HidrawDescriptor, LongItemsAreSkipped) {
  // A long item with three data bytes, and one with none.
  const DescriptorCaps caps =
      Parse(DrawerWith({0xFE, 0x03, 0xF0, 0xAA, 0xBB, 0xCC, 0xFE, 0x00, 0xF1}));
  ExpectCaps(caps, {0xFFA0, 0x01, 5, 0, 5, 1, false});
}

TEST(HidrawDescriptor, LongItemWhoseDataRunsPastTheEndIsRefused) {
  Bytes bytes = hidraw::descriptors::kDrawer;
  bytes.insert(bytes.end(), {0xFE, 0x10, 0xF0, 0x01, 0x02});
  EXPECT_FALSE(Parse(bytes).valid);
  EXPECT_FALSE(Parse({0xFE}).valid);
  EXPECT_FALSE(Parse({0xFE, 0x00}).valid);
}

TEST(HidrawDescriptor, NestedCollectionsAddUpIntoTheirReports) {
  // Application > Logical > Logical, with fields at each depth.
  const Bytes bytes = Collection({
      0x75, 0x08, 0x95, 0x01, 0x81, 0x02,  // 1 byte in the application collection
      0x09, 0x02, 0xA1, 0x02,              // Logical collection
      0x95, 0x02, 0x81, 0x02,              //   2 bytes
      0x09, 0x03, 0xA1, 0x02,              //   Logical collection
      0x95, 0x03, 0xB1, 0x02,              //     3 feature bytes
      0xC0,                                //   End
      0xC0,                                // End
  });
  ExpectCaps(Parse(bytes), {0xFF00, 0x01, 4, 0, 4, 3, false});
}

TEST(HidrawDescriptor, FourByteUsageCarriesItsOwnPage) {
  const Bytes bytes = {0x05, 0x01,                    // Usage Page (Generic Desktop)
                       0x0B, 0x01, 0x00, 0x0C, 0x00,  // Usage (Consumer: Consumer Control)
                       0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
  const DescriptorCaps caps = Parse(bytes);
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.usagePage, 0x0C);
  EXPECT_EQ(caps.usage, 0x01);
}

TEST(HidrawDescriptor, UsageMinimumNamesACollectionWithoutUsage) {
  const Bytes bytes = {0x05, 0x0C, 0x19, 0x05, 0x29, 0x09, 0xA1, 0x01, 0xC0};
  const DescriptorCaps caps = Parse(bytes);
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.usagePage, 0x0C);
  EXPECT_EQ(caps.usage, 0x05);
}

TEST(HidrawDescriptor, PushAndPopRestoreTheGlobalState) {
  // Report size 8 is pushed, size 1 used inside, 8 again after the pop.
  const Bytes bytes =
      Collection({0x75, 0x08, 0x95, 0x02, 0xA4, 0x75, 0x01, 0x81, 0x02, 0xB4, 0xB1, 0x02});
  const DescriptorCaps caps = Parse(bytes);
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.inputReportByteLength, 2);    // 2 bits
  EXPECT_EQ(caps.featureReportByteLength, 3);  // 16 bits
}

TEST(HidrawDescriptor, ItemsWithoutEnoughDataAreRefused) {
  EXPECT_FALSE(Parse({0x05}).valid);                    // one data byte promised, none there
  EXPECT_FALSE(Parse({0x06, 0x00}).valid);              // two promised, one there
  EXPECT_FALSE(Parse({0x07, 0x00, 0x00, 0x00}).valid);  // four promised, three there
  Bytes bytes = hidraw::descriptors::kDrawer;
  bytes.push_back(0x27);  // Logical Maximum with four data bytes, cut off
  EXPECT_FALSE(Parse(bytes).valid);
}

TEST(HidrawDescriptor, StructuralFaultsAreRefused) {
  EXPECT_FALSE(Parse({}).valid);                                    // nothing at all
  EXPECT_FALSE(Parse({0x75, 0x08, 0x95, 0x01, 0x81, 0x02}).valid);  // no collection
  EXPECT_FALSE(Parse({0xA1, 0x01}).valid);                          // never closed
  EXPECT_FALSE(Parse({0xC0, 0xA1, 0x01, 0xC0}).valid);              // closed before opened
  EXPECT_FALSE(Parse(Collection({0xB4})).valid);                    // pop without push
  EXPECT_FALSE(Parse(Collection({0x85, 0x00})).valid);              // report ID 0
  EXPECT_FALSE(Parse(Collection({0x86, 0x00, 0x01})).valid);        // report ID 256
  Bytes pushes(17, 0xA4);                                           // deeper than the stack
  EXPECT_FALSE(Parse(Collection(pushes)).valid);
  pushes.resize(16);
  EXPECT_TRUE(Parse(Collection(pushes)).valid);
}

TEST(HidrawDescriptor, HugeReportsSaturateInsteadOfOverflowing) {
  const DescriptorCaps caps = Parse(Collection({0x77, 0xFF, 0xFF, 0xFF, 0xFF,  // size 2^32-1
                                                0x97, 0xFF, 0xFF, 0xFF, 0xFF,  // count 2^32-1
                                                0x81, 0x02, 0x81, 0x02}));
  EXPECT_FALSE(caps.valid);
  EXPECT_EQ(caps.inputReportByteLength, 0xFFFF);
}

TEST(HidrawDescriptor, TheLargestReportThatFitsTheLengthField) {
  // 0xFFFE bytes of input: 8 * 0xFFFE bits, as size 8 and count 0xFFFE.
  const DescriptorCaps caps = Parse(Collection({0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02}));
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.inputReportByteLength, 0xFFFF);
  EXPECT_FALSE(Parse(Collection({0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02})).valid);
}

TEST(HidrawDescriptor, DeepNestingNeedsNoStack) {
  Bytes bytes;
  for (int i = 0; i < 200000; ++i) bytes.insert(bytes.end(), {0xA1, 0x02});
  bytes.insert(bytes.end(), {0x75, 0x08, 0x95, 0x01, 0xB1, 0x02});
  bytes.insert(bytes.end(), 200000, 0xC0);
  const DescriptorCaps caps = Parse(bytes);
  EXPECT_TRUE(caps.valid);
  EXPECT_EQ(caps.featureReportByteLength, 2);
  EXPECT_EQ(caps.linkCollectionNodes, 0xFFFF);  // counted up to what the field holds
}

TEST(HidrawDescriptor, ReservedItemsAndUnknownTagsAreIgnored) {
  // A reserved item type (3) with data, an unknown main tag, an unknown global tag, a delimiter.
  ExpectCaps(Parse(DrawerWith({0x0F, 1, 2, 3, 4, 0xD0, 0xF4, 0xA9, 0x01})),
             {0xFFA0, 0x01, 5, 0, 5, 1, false});
}

TEST(HidrawDescriptor, NullInputIsEmpty) {
  const DescriptorCaps caps = ParseReportDescriptor(nullptr, 100);
  EXPECT_FALSE(caps.valid);
  EXPECT_EQ(caps.inputReportByteLength, 0);
}

}  // namespace
