// The entry points each hidraw library exports, by export name.
#pragma once

#include "hid/LibraryLoader.h"

namespace hidraw::detail {

hid::SymbolTable Kernel32Symbols();
hid::SymbolTable SetupApiSymbols();  // the implemented ones only
hid::SymbolTable HidSymbols();       // the implemented ones only

// A function pointer as the loader hands it out. The detour through void(*)() is the one cast
// between function types that the compiler accepts as deliberate on every target.
template <class Fn>
FARPROC ToFarProc(Fn fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace hidraw::detail
