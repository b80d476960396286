// Owns one GDI object (font, brush) and deletes it with its owner.
#pragma once

#include <windows.h>

#include "host/UniqueHandle.h"

namespace host::win32 {

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

template <class Handle>
using GdiObject = UniqueHandle<Handle, DeleteGdiObject>;

using FontHandle = GdiObject<HFONT>;
using BrushHandle = GdiObject<HBRUSH>;

}  // namespace host::win32
