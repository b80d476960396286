// Pages for machine code the program writes itself (the keyboard hook's thunks). A page is
// writable only while its owner changes it and read-and-execute at rest, so stray writes cannot
// turn into code.
#pragma once

#include <cstddef>

namespace host {

inline constexpr std::size_t kCodePageSize = 4096;

// A fresh page of kCodePageSize bytes, zeroed and writable; null when the system has none to
// give. Pages are never given back.
void* AllocateCodePage();
// Opens a page for a change; the code already on it stays executable meanwhile, so a failure to
// close it again cannot leave live code unrunnable.
bool MakeCodePageWritable(void* page);
// Read and execute only; the processor sees what was written.
bool MakeCodePageExecutable(void* page);

}  // namespace host
