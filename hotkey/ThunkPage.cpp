#include "hotkey/ThunkPage.h"

namespace hooks {
namespace {

// A relative jump or call lands at the end of its own 5-byte instruction plus the displacement.
std::uint32_t Displacement32(std::uint32_t source, std::uint32_t target) {
  return target - (source + 5);
}

}  // namespace

void ThunkPage32::Format(std::uint8_t* page, Address at, Address dispatch) {
  page[4] = 0x59;
  page[5] = 0xE9;
  WriteThunkAddress<std::uint32_t>(page + 6, Displacement32(at + 5, dispatch));
  for (std::size_t i = 0; i < kSlotCount; ++i) {
    const std::size_t offset = kFirstSlot + i * kSlotSize;
    page[offset] = 0xE8;
    WriteThunkAddress<std::uint32_t>(page + offset + 1,
                                     Displacement32(at + static_cast<Address>(offset), at + 4));
  }
}

void ThunkPage64::Format(std::uint8_t* page, Address at, Address dispatch) {
  WriteThunkAddress<Address>(page + kDispatchOffset, dispatch);
  for (std::size_t i = 0; i < kSlotCount; ++i) {
    const std::size_t offset = kFirstSlot + i * kSlotSize;
    std::uint8_t* slot = page + offset;
    slot[0] = 0x49;  // REX.W+B: mov r9, imm64
    slot[1] = 0xB9;
    WriteThunkAddress<Address>(slot + 2, at + offset + kCodeOffset);
    slot[10] = 0xFF;  // jmp [rip + rel32]; rip is the end of this 6-byte instruction
    slot[11] = 0x25;
    const auto rel = static_cast<std::int32_t>(static_cast<std::int64_t>(kDispatchOffset) -
                                               static_cast<std::int64_t>(offset + 16));
    WriteThunkAddress<std::int32_t>(slot + 12, rel);
  }
}

}  // namespace hooks
