#include "platform/hidraw/Descriptor.h"

#include <algorithm>

namespace hidraw {
namespace {

enum ReportKind { kInput = 0, kOutput = 1, kFeature = 2, kReportKinds = 3 };

// Item types and tags of the short-item format.
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeLocal = 2;

constexpr unsigned kMainInput = 0x8;
constexpr unsigned kMainOutput = 0x9;
constexpr unsigned kMainCollection = 0xA;
constexpr unsigned kMainFeature = 0xB;
constexpr unsigned kMainEndCollection = 0xC;

constexpr unsigned kGlobalUsagePage = 0x0;
constexpr unsigned kGlobalReportSize = 0x7;
constexpr unsigned kGlobalReportId = 0x8;
constexpr unsigned kGlobalReportCount = 0x9;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;

constexpr unsigned kLocalUsage = 0x0;
constexpr unsigned kLocalUsageMinimum = 0x1;

constexpr std::uint8_t kLongItemPrefix = 0xFE;

// Deeper than any real device nests its pushes (Linux itself allows 4); a fixed array, so a
// descriptor of nothing but pushes costs no memory.
constexpr std::size_t kGlobalStackDepth = 16;

// The longest report whose length, with the ID byte, still fits a 16-bit length field.
constexpr std::uint64_t kMaxReportBits = 8u * 0xFFFEu;

struct Globals {
  std::uint32_t usagePage = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint32_t reportId = 0;
};

class Parser {
 public:
  DescriptorCaps Run(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    while (ok_ && pos < size) {
      const std::uint8_t prefix = data[pos];
      if (prefix == kLongItemPrefix) {
        // No long item tag is defined; skip the header (prefix, size, tag) and the data.
        if (size - pos < 3 || size - pos - 3 < data[pos + 1]) return Fail();
        pos += 3 + static_cast<std::size_t>(data[pos + 1]);
        continue;
      }
      static constexpr std::size_t kDataSizes[4] = {0, 1, 2, 4};
      const std::size_t length = kDataSizes[prefix & 0x3];
      if (size - pos - 1 < length) return Fail();
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < length; ++i) {
        value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
      }
      pos += 1 + length;
      const unsigned type = (prefix >> 2) & 0x3;
      const unsigned tag = prefix >> 4;
      if (type == kTypeMain) {
        Main(tag);
      } else if (type == kTypeGlobal) {
        Global(tag, value);
      } else if (type == kTypeLocal) {
        Local(tag, value, length);
      }
      // Reserved item types carry nothing the capabilities depend on.
    }
    if (collectionDepth_ != 0 || !sawCollection_) ok_ = false;
    return Finish();
  }

 private:
  DescriptorCaps Fail() {
    ok_ = false;
    return Finish();
  }

  void Main(unsigned tag) {
    switch (tag) {
      case kMainInput:
        AddField(kInput);
        break;
      case kMainOutput:
        AddField(kOutput);
        break;
      case kMainFeature:
        AddField(kFeature);
        break;
      case kMainCollection:
        OpenCollection();
        break;
      case kMainEndCollection:
        if (collectionDepth_ == 0) {
          ok_ = false;
        } else {
          --collectionDepth_;
        }
        break;
      default:
        break;
    }
    // Local items describe the next main item only.
    haveUsage_ = false;
    usage_ = 0;
    usageHasPage_ = false;
  }

  void AddField(ReportKind kind) {
    const std::uint64_t fieldBits =
        static_cast<std::uint64_t>(globals_.reportSize) * globals_.reportCount;
    std::uint64_t& bits = reportBits_[kind][globals_.reportId];
    // Cannot wrap: bits stays at most kMaxReportBits + 1, and a product of two 32-bit values is
    // below 2^64 - 2^33.
    bits = std::min(bits + fieldBits, kMaxReportBits + 1);
    if (bits > kMaxReportBits) ok_ = false;
    present_[kind].set(globals_.reportId);
  }

  void OpenCollection() {
    if (collectionDepth_ == 0 && !sawCollection_) {
      sawCollection_ = true;
      // A four-byte usage carries its own page in the upper half; a shorter one takes the
      // current usage page.
      caps_.usagePage =
          static_cast<std::uint16_t>(usageHasPage_ ? usage_ >> 16 : globals_.usagePage);
      caps_.usage = static_cast<std::uint16_t>(usage_ & 0xFFFF);
    }
    ++collectionDepth_;  // a counter, not a stack: nesting costs nothing however deep
    if (caps_.linkCollectionNodes < 0xFFFF) ++caps_.linkCollectionNodes;
  }

  void Global(unsigned tag, std::uint32_t value) {
    switch (tag) {
      case kGlobalUsagePage:
        globals_.usagePage = value & 0xFFFF;
        break;
      case kGlobalReportSize:
        globals_.reportSize = value;
        break;
      case kGlobalReportCount:
        globals_.reportCount = value;
        break;
      case kGlobalReportId:
        if (value == 0 || value > 0xFF) {
          ok_ = false;
        } else {
          globals_.reportId = value;
          caps_.usesReportIds = true;
        }
        break;
      case kGlobalPush:
        if (stackDepth_ == kGlobalStackDepth) {
          ok_ = false;
        } else {
          stack_[stackDepth_++] = globals_;
        }
        break;
      case kGlobalPop:
        if (stackDepth_ == 0) {
          ok_ = false;
        } else {
          globals_ = stack_[--stackDepth_];
        }
        break;
      default:
        break;  // logical and physical ranges, units: no bearing on the lengths
    }
  }

  void Local(unsigned tag, std::uint32_t value, std::size_t length) {
    // The first usage (or the start of the first usage range) names a collection.
    if ((tag == kLocalUsage || tag == kLocalUsageMinimum) && !haveUsage_) {
      haveUsage_ = true;
      usage_ = value;
      usageHasPage_ = length == 4;
    }
  }

  DescriptorCaps Finish() {
    caps_.valid = ok_;
    std::uint16_t* lengths[kReportKinds] = {&caps_.inputReportByteLength,
                                            &caps_.outputReportByteLength,
                                            &caps_.featureReportByteLength};
    for (int kind = 0; kind < kReportKinds; ++kind) {
      for (std::size_t id = 0; id < 256; ++id) {
        if (!present_[kind].test(id)) continue;
        const std::uint64_t bits = std::min(reportBits_[kind][id], kMaxReportBits);
        const auto length = static_cast<std::uint16_t>(1 + (bits + 7) / 8);
        *lengths[kind] = std::max(*lengths[kind], length);
        if (kind == kFeature) caps_.featureReportLengths[id] = length;
      }
    }
    caps_.inputReportIds = present_[kInput];
    caps_.featureReportIds = present_[kFeature];
    return caps_;
  }

  DescriptorCaps caps_;
  bool ok_ = true;
  Globals globals_;
  std::array<Globals, kGlobalStackDepth> stack_{};
  std::size_t stackDepth_ = 0;
  bool haveUsage_ = false;
  std::uint32_t usage_ = 0;
  bool usageHasPage_ = false;
  std::uint64_t collectionDepth_ = 0;
  bool sawCollection_ = false;
  std::array<std::array<std::uint64_t, 256>, kReportKinds> reportBits_{};
  std::array<std::bitset<256>, kReportKinds> present_;
};

}  // namespace

DescriptorCaps ParseReportDescriptor(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) size = 0;
  return Parser().Run(data, size);
}

}  // namespace hidraw
