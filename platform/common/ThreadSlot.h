// Per-thread records that must go when their thread ends: a backend drops the routines a thread
// left queued and the reads it left pending with them, as the system cancels a thread's I/O
// when the thread goes.
#pragma once

#include <cstdint>

#include "host/WinDefs.h"

namespace platform::common {

// A key for a thread that no later thread gets again.
std::uint64_t NextThreadKey();

#ifdef _WIN32
template <class Slot>
void WINAPI DeleteThreadSlot(void* slot) {
  delete static_cast<Slot*>(slot);
}
#endif

// The calling thread's Slot, made on its first use and destroyed when the thread ends.
template <class Slot>
Slot& ThisThreadSlot() {
#ifdef _WIN32
  // mingw runs thread_local destructors after the object's storage is gone, so the slot lives
  // in a fiber-local value there, and the value's callback ends it.
  static const DWORD index = FlsAlloc(&DeleteThreadSlot<Slot>);
  auto* slot = static_cast<Slot*>(FlsGetValue(index));
  if (slot == nullptr) {
    slot = new Slot();
    FlsSetValue(index, slot);
  }
  return *slot;
#else
  thread_local Slot slot;
  return slot;
#endif
}

}  // namespace platform::common
