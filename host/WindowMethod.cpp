#include "host/Messages.h"

namespace host {

LRESULT CallWindowMethod(const WndMethod& method, HWND wnd, UINT msg, WPARAM wParam,
                         LPARAM lParam) noexcept {
  if (!method.IsSet()) return 0;
  try {
    return method(wnd, msg, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

}  // namespace host
