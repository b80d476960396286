#include "host/CodePages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace host {

#ifdef _WIN32

void* AllocateCodePage() {
  return VirtualAlloc(nullptr, kCodePageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

bool MakeCodePageWritable(void* page) {
  DWORD old = 0;
  return VirtualProtect(page, kCodePageSize, PAGE_EXECUTE_READWRITE, &old) != FALSE;
}

bool MakeCodePageExecutable(void* page) {
  DWORD old = 0;
  if (VirtualProtect(page, kCodePageSize, PAGE_EXECUTE_READ, &old) == FALSE) return false;
  return FlushInstructionCache(GetCurrentProcess(), page, kCodePageSize) != FALSE;
}

#else

void* AllocateCodePage() {
  void* page =
      mmap(nullptr, kCodePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return page == MAP_FAILED ? nullptr : page;
}

bool MakeCodePageWritable(void* page) {
  return mprotect(page, kCodePageSize, PROT_READ | PROT_WRITE | PROT_EXEC) == 0;
}

bool MakeCodePageExecutable(void* page) {
  if (mprotect(page, kCodePageSize, PROT_READ | PROT_EXEC) != 0) return false;
  // x86 keeps instruction fetches coherent with stores; elsewhere the cache must be told.
  __builtin___clear_cache(static_cast<char*>(page), static_cast<char*>(page) + kCodePageSize);
  return true;
}

#endif

}  // namespace host
