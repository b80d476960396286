// The machine code of the keyboard hook's thunk pages, one format per processor. A format writes
// the code of a fresh page for the addresses the page will have; the pool (ThunkPool.h) owns the
// page list, the free list and the bindings. The formats are plain functions over a byte buffer,
// so the bytes of either can be checked on any machine.
//
// x86 (32-bit), 4096-byte page:
//   0     4 bytes   address of the page allocated before (the page list's link)
//   4     59        pop ecx: the binding's address, pushed by the slot's call
//   5     E9 rel32  jmp HookThunkDispatch (a fastcall whose first argument is ecx)
//   10    314 slots of 13 bytes, up to 4092:
//         +0 E8 rel32  call page+4
//         +5 4 bytes   the bound code, or the next free slot while the slot is free
//         +9 4 bytes   the bound object
//
// x86-64, 4096-byte page:
//   0     8 bytes   address of the page allocated before
//   8     8 bytes   address of HookThunkDispatch
//   16    127 slots of 32 bytes, up to 4080:
//         +0  49 B9 imm64      mov r9, slot+16: the binding becomes the dispatcher's fourth
//                              argument (a hook procedure has three)
//         +10 FF 25 rel32      jmp [page+8]
//         +16 8 bytes          the bound code, or the next free slot while the slot is free
//         +24 8 bytes          the bound object
//   A 64-bit slot names its binding by address instead of by a call: a call whose return address
//   is popped would leave the processor's shadow stack (control-flow enforcement) out of step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hooks {

inline constexpr std::size_t kThunkPageSize = 4096;

// Little-endian fields of a page.
template <class Address>
Address ReadThunkAddress(const std::uint8_t* at) {
  Address value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
template <class Address>
void WriteThunkAddress(std::uint8_t* at, Address value) {
  std::memcpy(at, &value, sizeof value);
}

struct ThunkPage32 {
  using Address = std::uint32_t;
  static constexpr std::size_t kLinkOffset = 0;
  static constexpr std::size_t kFirstSlot = 10;
  static constexpr std::size_t kSlotSize = 13;
  static constexpr std::size_t kSlotCount = 314;
  static constexpr std::size_t kCodeOffset = 5;  // in a slot; also the free list's link
  static constexpr std::size_t kObjectOffset = 9;

  // Writes the prologue and every slot's call into `page`, which will be at address `at`.
  static void Format(std::uint8_t* page, Address at, Address dispatch);
};

struct ThunkPage64 {
  using Address = std::uint64_t;
  static constexpr std::size_t kLinkOffset = 0;
  static constexpr std::size_t kDispatchOffset = 8;
  static constexpr std::size_t kFirstSlot = 16;
  static constexpr std::size_t kSlotSize = 32;
  static constexpr std::size_t kSlotCount = 127;
  static constexpr std::size_t kCodeOffset = 16;
  static constexpr std::size_t kObjectOffset = 24;

  static void Format(std::uint8_t* page, Address at, Address dispatch);
};

static_assert(ThunkPage32::kFirstSlot + ThunkPage32::kSlotCount * ThunkPage32::kSlotSize <=
              kThunkPageSize);
static_assert(ThunkPage64::kFirstSlot + ThunkPage64::kSlotCount * ThunkPage64::kSlotSize <=
              kThunkPageSize);

}  // namespace hooks
