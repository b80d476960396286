// The thunk pages, byte by byte, and the pool's bookkeeping, on pages with assumed addresses: the
// 32-bit format is checked here on any machine, although no 32-bit code runs on ours.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "host/Exception.h"
#include "hotkey/ThunkPage.h"
#include "hotkey/ThunkPool.h"

namespace {

using hooks::kThunkPageSize;
using hooks::ReadThunkAddress;
using hooks::ThunkPage32;
using hooks::ThunkPage64;

// Pages at made-up addresses. Every change must happen between OpenForChange and
// CloseAfterChange: a page is compared with its state at the last close when it is opened again,
// so a write while it was closed shows.
template <class Address>
class FakeCodePages {
 public:
  explicit FakeCodePages(Address first) : next_(first) {}

  Address AllocatePage() {
    if (pagesLeft == 0) return 0;
    --pagesLeft;
    const Address page = next_;
    next_ += static_cast<Address>(kThunkPageSize);
    pages_[page] = std::make_unique<Page>();
    pages_[page]->open = true;
    return page;
  }
  std::uint8_t* Bytes(Address at) {
    auto it = pages_.upper_bound(at);
    --it;
    return it->second->bytes.data() + (at - it->first);
  }
  bool OpenForChange(Address page) {
    Page& p = *pages_.at(page);
    EXPECT_EQ(p.bytes, p.atClose) << "page changed while closed";
    if (refuseOpen) return false;
    p.open = true;
    return true;
  }
  bool CloseAfterChange(Address page) {
    Page& p = *pages_.at(page);
    if (refuseClose) return false;
    p.open = false;
    p.atClose = p.bytes;
    return true;
  }

  bool AllClosed() const {
    for (const auto& [address, page] : pages_) {
      if (page->open) return false;
    }
    return true;
  }
  std::size_t PageCount() const { return pages_.size(); }

  int pagesLeft = 1000;
  bool refuseOpen = false;
  bool refuseClose = false;

 private:
  struct Page {
    std::array<std::uint8_t, kThunkPageSize> bytes{};
    std::array<std::uint8_t, kThunkPageSize> atClose{};
    bool open = false;
  };
  Address next_;
  std::map<Address, std::unique_ptr<Page>> pages_;
};

constexpr std::uint32_t kPage32 = 0x00A30000;
constexpr std::uint32_t kDispatch32 = 0x00401234;

using Pages32 = FakeCodePages<std::uint32_t>;
using Pool32 = hooks::ThunkPool<ThunkPage32, Pages32>;

std::uint32_t Slot32(std::uint32_t page, std::size_t index) {
  return page +
         static_cast<std::uint32_t>(ThunkPage32::kFirstSlot + index * ThunkPage32::kSlotSize);
}

TEST(ThunkPage32, FreshPageHasTheLinkThePrologueAndACallInEverySlotChainedHighestFirst) {
  Pages32 pages(kPage32);
  Pool32 pool(pages, kDispatch32);
  const std::uint32_t slot = pool.AllocHookThunk(0x11223344, 0x55667788);

  const std::uint8_t* page = pages.Bytes(kPage32);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(page), 0u) << "the first page links to nothing";
  EXPECT_EQ(page[4], 0x59);
  EXPECT_EQ(page[5], 0xE9);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(page + 6), kDispatch32 - (kPage32 + 10));
  for (std::size_t i = 0; i < ThunkPage32::kSlotCount; ++i) {
    const std::uint32_t at = Slot32(kPage32, i);
    const std::uint8_t* bytes = pages.Bytes(at);
    ASSERT_EQ(bytes[0], 0xE8) << "slot " << i;
    ASSERT_EQ(ReadThunkAddress<std::uint32_t>(bytes + 1), (kPage32 + 4) - (at + 5)) << "slot " << i;
    // The free list runs from the highest remaining slot down to the lowest, which ends it.
    if (i + 1 < ThunkPage32::kSlotCount) {
      ASSERT_EQ(ReadThunkAddress<std::uint32_t>(bytes + 5), i == 0 ? 0u : Slot32(kPage32, i - 1))
          << "slot " << i;
    }
  }
  EXPECT_EQ(Slot32(kPage32, ThunkPage32::kSlotCount - 1) + 13, kPage32 + 4092);
  for (std::size_t i = 4092; i < kThunkPageSize; ++i) EXPECT_EQ(page[i], 0) << i;

  EXPECT_EQ(slot, Slot32(kPage32, 313)) << "a fresh page hands out its highest slot first";
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(slot) + 5), 0x11223344u);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(slot) + 9), 0x55667788u);
  EXPECT_EQ(pool.ThunkFreeList, Slot32(kPage32, 312));
  EXPECT_EQ(pool.ThunkPageList, kPage32);
  EXPECT_TRUE(pages.AllClosed());
}

TEST(ThunkPage32, ThreeHundredFourteenSlotsFillAPageAndTheNextOneStartsASecondPageLinkedToIt) {
  Pages32 pages(kPage32);
  Pool32 pool(pages, kDispatch32);
  for (std::uint32_t n = 0; n < ThunkPage32::kSlotCount; ++n) {
    EXPECT_EQ(pool.AllocHookThunk(n + 1, 0), Slot32(kPage32, 313 - n));
  }
  EXPECT_EQ(pages.PageCount(), 1u);
  EXPECT_EQ(pool.ThunkFreeList, 0u);

  const std::uint32_t second = kPage32 + 0x1000;
  EXPECT_EQ(pool.AllocHookThunk(999, 0), Slot32(second, 313));
  EXPECT_EQ(pool.ThunkPageList, second);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(second)), kPage32);
  // The displacements of the second page are its own.
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(second) + 6), kDispatch32 - (second + 10));
  EXPECT_TRUE(pages.AllClosed());
}

TEST(ThunkPool, AReleasedSlotIsTheNextHandedOutAndKeepsTheRestOfTheFreeList) {
  Pages32 pages(kPage32);
  Pool32 pool(pages, kDispatch32);
  const std::uint32_t a = pool.AllocHookThunk(1, 10);
  const std::uint32_t b = pool.AllocHookThunk(2, 20);
  pool.ReleaseHookThunk(a);
  pool.ReleaseHookThunk(0);  // ignored
  EXPECT_EQ(pool.ThunkFreeList, a);
  EXPECT_EQ(pool.AllocHookThunk(3, 30), a);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(a) + 5), 3u);
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(a) + 9), 30u);
  EXPECT_EQ(pool.AllocHookThunk(4, 40), Slot32(kPage32, 311)) << "then the page's next slot";
  EXPECT_EQ(ReadThunkAddress<std::uint32_t>(pages.Bytes(b) + 5), 2u) << "b keeps its binding";
  EXPECT_TRUE(pages.AllClosed());
}

TEST(ThunkPool, FailuresReachTheCallerAndLeaveThePoolAsItWas) {
  {
    Pages32 pages(kPage32);
    pages.pagesLeft = 0;
    Pool32 pool(pages, kDispatch32);
    EXPECT_THROW(pool.AllocHookThunk(1, 1), host::Exception);
    EXPECT_EQ(pool.ThunkFreeList, 0u);
    EXPECT_EQ(pool.ThunkPageList, 0u);
  }
  {
    // A page that cannot be made executable is never handed out.
    Pages32 pages(kPage32);
    pages.refuseClose = true;
    Pool32 pool(pages, kDispatch32);
    EXPECT_THROW(pool.AllocHookThunk(1, 1), host::Exception);
    EXPECT_EQ(pool.ThunkFreeList, 0u);
    EXPECT_EQ(pool.ThunkPageList, 0u);
  }
  {
    Pages32 pages(kPage32);
    Pool32 pool(pages, kDispatch32);
    const std::uint32_t a = pool.AllocHookThunk(1, 1);
    const std::uint32_t freeBefore = pool.ThunkFreeList;
    pages.refuseOpen = true;
    EXPECT_THROW(pool.AllocHookThunk(2, 2), host::Exception);
    EXPECT_EQ(pool.ThunkFreeList, freeBefore);
    // A slot whose page will not open stays out of use instead of corrupting the list.
    pool.ReleaseHookThunk(a);
    EXPECT_EQ(pool.ThunkFreeList, freeBefore);
  }
}

TEST(ThunkPage64, ASlotLoadsItsBindingIntoR9AndJumpsThroughThePagesDispatchAddress) {
  constexpr std::uint64_t kPage = 0x00007FF6'12340000;
  constexpr std::uint64_t kDispatch = 0x00007FF7'00001230;
  FakeCodePages<std::uint64_t> pages(kPage);
  hooks::ThunkPool<ThunkPage64, FakeCodePages<std::uint64_t>> pool(pages, kDispatch);
  const std::uint64_t slot = pool.AllocHookThunk(0x0102030405060708, 0x1112131415161718);

  EXPECT_EQ(slot, kPage + 16 + 126 * 32) << "127 slots, the highest first";
  const std::uint8_t* page = pages.Bytes(kPage);
  EXPECT_EQ(ReadThunkAddress<std::uint64_t>(page + 8), kDispatch);
  for (std::size_t i = 0; i < ThunkPage64::kSlotCount; ++i) {
    const std::uint64_t at = kPage + 16 + i * 32;
    const std::uint8_t* bytes = pages.Bytes(at);
    ASSERT_EQ(bytes[0], 0x49) << "slot " << i;
    ASSERT_EQ(bytes[1], 0xB9) << "slot " << i;
    ASSERT_EQ(ReadThunkAddress<std::uint64_t>(bytes + 2), at + 16) << "slot " << i;
    ASSERT_EQ(bytes[10], 0xFF) << "slot " << i;
    ASSERT_EQ(bytes[11], 0x25) << "slot " << i;
    const auto rel = ReadThunkAddress<std::int32_t>(bytes + 12);
    ASSERT_EQ(at + 16 + static_cast<std::int64_t>(rel), kPage + 8) << "slot " << i;
  }
  EXPECT_EQ(ReadThunkAddress<std::uint64_t>(pages.Bytes(slot) + 16), 0x0102030405060708u);
  EXPECT_EQ(ReadThunkAddress<std::uint64_t>(pages.Bytes(slot) + 24), 0x1112131415161718u);
  EXPECT_TRUE(pages.AllClosed());
}

}  // namespace
