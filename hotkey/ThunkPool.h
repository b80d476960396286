// The pool of hook thunks: executable slots, each bound to one object's method, whose addresses
// the system takes as plain hook procedures. Pages are chained through their first field and
// never given back; free slots are chained through their code field, so the pool needs no
// memory of its own beyond two addresses. A fresh page hands out its highest slot first, and a
// released slot is the next one handed out.
//
// Memory provides the pages: Address AllocatePage() (0 when none; the page zeroed, writable and
// aligned to its size), std::uint8_t* Bytes(Address), bool OpenForChange(Address page) and
// bool CloseAfterChange(Address page). Only the GUI thread uses a pool; it has no lock.
#pragma once

#include <cstdint>

#include "host/Exception.h"
#include "hotkey/ThunkPage.h"

namespace hooks {

template <class Page, class Memory>
class ThunkPool {
 public:
  using Address = typename Page::Address;

  ThunkPool(Memory& memory, Address dispatch) : memory_(memory), dispatch_(dispatch) {}

  Address ThunkPageList = 0;  // the newest page
  Address ThunkFreeList = 0;  // the next slot to hand out

  // A slot bound to (code, object). Raises host::Exception when no page can be had, so no
  // caller ever gets a slot that is not there.
  Address AllocHookThunk(Address code, Address object) {
    if (ThunkFreeList == 0) AddPage();
    const Address slot = ThunkFreeList;
    const Address page = PageOf(slot);
    if (!memory_.OpenForChange(page)) throw host::Exception("Hook thunk page cannot be changed");
    std::uint8_t* bytes = memory_.Bytes(slot);
    ThunkFreeList = ReadThunkAddress<Address>(bytes + Page::kCodeOffset);
    WriteThunkAddress<Address>(bytes + Page::kCodeOffset, code);
    WriteThunkAddress<Address>(bytes + Page::kObjectOffset, object);
    // Left open, the page still runs: only its protection against stray writes is lost.
    memory_.CloseAfterChange(page);
    return slot;
  }

  // A null slot is ignored. The slot's old binding stays until it is bound again, but nothing
  // calls it: its hook is gone before its owner releases it.
  void ReleaseHookThunk(Address slot) noexcept {
    if (slot == 0) return;
    const Address page = PageOf(slot);
    // A page that cannot be opened keeps the slot out of use for good rather than losing track.
    if (!memory_.OpenForChange(page)) return;
    WriteThunkAddress<Address>(memory_.Bytes(slot) + Page::kCodeOffset, ThunkFreeList);
    ThunkFreeList = slot;
    memory_.CloseAfterChange(page);
  }

 private:
  static Address PageOf(Address slot) { return slot & ~static_cast<Address>(kThunkPageSize - 1); }

  void AddPage() {
    const Address page = memory_.AllocatePage();
    if (page == 0) throw host::Exception("Hook thunk page cannot be allocated");
    std::uint8_t* bytes = memory_.Bytes(page);
    WriteThunkAddress<Address>(bytes + Page::kLinkOffset, ThunkPageList);
    Page::Format(bytes, page, dispatch_);
    Address head = ThunkFreeList;
    for (std::size_t i = 0; i < Page::kSlotCount; ++i) {
      const Address slot = page + static_cast<Address>(Page::kFirstSlot + i * Page::kSlotSize);
      WriteThunkAddress<Address>(memory_.Bytes(slot) + Page::kCodeOffset, head);
      head = slot;
    }
    // A page that would not become executable is never used: its slots would crash the caller.
    if (!memory_.CloseAfterChange(page)) {
      throw host::Exception("Hook thunk page cannot be made executable");
    }
    ThunkPageList = page;
    ThunkFreeList = head;
  }

  Memory& memory_;
  Address dispatch_;
};

}  // namespace hooks
