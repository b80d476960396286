// Plain window procedures that call an object's method: what a window's procedure slot can hold
// when an object is to see that window's messages (subclassing a window the object does not own).
// GUI thread only.
#pragma once

#include <cstddef>

#include "host/Messages.h"
#include "host/WinDefs.h"

namespace host {

// How many instances can live at once. Each is a distinct procedure compiled into the program, so
// no memory is ever made executable for them; a process subclasses a handful of windows at most.
inline constexpr std::size_t kObjectInstanceCount = 64;

// A procedure whose every call goes to `method` (an exception leaving it is dropped there, as in
// the loop's own dispatch). Null when all are in use or the method is not set.
WNDPROC MakeObjectInstance(WndMethod method);
// Gives the procedure back; null and unknown addresses are ignored. Nothing may call it afterwards
// (it would do nothing until it is handed out again).
void FreeObjectInstance(WNDPROC instance);

}  // namespace host
