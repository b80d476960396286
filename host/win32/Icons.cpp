// Icons from the executable's resources, as 32 x 32 pictures the program owns.
#include <windows.h>

#include "host/Icons.h"
#include "host/win32/NativeText.h"

namespace host {

HICON LoadIconResource(const std::string& name) {
  // Not shared: each holder destroys its own copy.
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), win32::Wide(name).c_str(),
                                       IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
}

HICON CopyIconHandle(HICON icon) {
  return CopyIcon(icon);
}

void DestroyIconHandle(HICON icon) {
  DestroyIcon(icon);
}

}  // namespace host
