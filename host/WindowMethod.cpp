#include "host/Messages.h"

#include "host/SysUtils.h"
#include "host/Trace.h"

namespace host {

LRESULT CallWindowMethod(const WndMethod& method, HWND wnd, UINT msg, WPARAM wParam,
                         LPARAM lParam) noexcept {
  if (!method.IsSet()) return 0;
  const MessageHandling handling;
  try {
    return method(wnd, msg, wParam, lParam);
  } catch (...) {
    if (Tracing()) TraceDroppedException("the handler of window message $" + IntToHex(msg, 4));
    return 0;
  }
}

}  // namespace host
