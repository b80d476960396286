// Popup menus as the system's own: built afresh for each showing and tracked until closed.
#include <windows.h>

#include <vector>

#include "host/Application.h"
#include "host/Menus.h"
#include "host/Messages.h"
#include "host/UniqueHandle.h"
#include "host/win32/NativeText.h"

namespace host {
namespace {

struct MenuRelease {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = UniqueHandle<HMENU, MenuRelease>;

// Command identifiers are places in `items` plus one (0 is "nothing chosen").
void AppendItems(HMENU menu, const TMenuItem& parent, std::vector<TMenuItem*>& items) {
  for (int i = 0; i < parent.Count(); ++i) {
    TMenuItem* item = parent.Items(i);
    if (item->IsLine()) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT state = item->Enabled() ? MF_ENABLED : MF_GRAYED;
    if (item->Count() > 0) {
      // The submenu belongs to its parent from here on and is destroyed with it.
      HMENU sub = CreatePopupMenu();
      if (sub == nullptr) continue;
      AppendItems(sub, *item, items);
      AppendMenuW(menu, MF_POPUP | MF_STRING | state, reinterpret_cast<UINT_PTR>(sub),
                  win32::Wide(item->Caption()).c_str());
      continue;
    }
    items.push_back(item);
    AppendMenuW(menu, MF_STRING | state, items.size(), win32::Wide(item->Caption()).c_str());
    if (item->Default()) SetMenuDefaultItem(menu, static_cast<UINT>(items.size()), FALSE);
  }
}

std::vector<TMenuItem*> Leaves(const TMenuItem& root) {
  std::vector<TMenuItem*> items;
  struct Walk {
    static void Into(const TMenuItem& parent, std::vector<TMenuItem*>& items) {
      for (int i = 0; i < parent.Count(); ++i) {
        TMenuItem* item = parent.Items(i);
        if (item->IsLine()) continue;
        if (item->Count() > 0) {
          Into(*item, items);
        } else {
          items.push_back(item);
        }
      }
    }
  };
  Walk::Into(root, items);
  return items;
}

// A menu closes when its owner stops being the foreground window, so the owner is the window the
// caller has just brought to the foreground when that is one of this thread's; else the
// application window.
HWND MenuOwner() {
  HWND foreground = GetForegroundWindow();
  if (foreground != nullptr &&
      GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) {
    return foreground;
  }
  return Application != nullptr ? Application->Handle() : nullptr;
}

}  // namespace

TMenuItem* TrackPopupMenuAt(TPopupMenu& menu, int x, int y) {
  std::vector<TMenuItem*> items;
  const MenuHandle native(CreatePopupMenu());
  if (!native) return nullptr;
  AppendItems(native.Get(), *menu.Items(), items);
  HWND owner = MenuOwner();
  if (owner == nullptr) return nullptr;
  // The menu's own loop retrieves the thread's messages (and serves its hooks) while it is open.
  EnteringMessageRetrieval();
  const BOOL chosen = TrackPopupMenuEx(native.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                       x, y, owner, nullptr);
  LeavingMessageRetrieval();
  if (chosen <= 0) return nullptr;
  // Handlers ran while the menu was open; an item they removed is not clicked.
  const std::vector<TMenuItem*> now = Leaves(*menu.Items());
  const auto index = static_cast<std::size_t>(chosen - 1);
  return index < items.size() && index < now.size() && now[index] == items[index] ? items[index]
                                                                                  : nullptr;
}

void EndPopupMenu() {
  EndMenu();
}

}  // namespace host
