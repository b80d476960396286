#include "platform/common/LastError.h"

namespace platform::common {
namespace {

// A plain value: mingw's trouble with thread_local destructors does not reach it.
thread_local DWORD tlsLastError = ERROR_SUCCESS;

}  // namespace

void SetError(DWORD error) {
  tlsLastError = error;
}

DWORD LastError() {
  return tlsLastError;
}

BOOL Fail(DWORD error) {
  SetError(error);
  return FALSE;
}

}  // namespace platform::common
