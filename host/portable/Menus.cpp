#include <mutex>
#include <utility>

#include "host/Menus.h"
#include "host/Trace.h"
#include "host/portable/PopupMenus.h"

namespace host {
namespace {

struct Popups {
  std::mutex mutex;
  std::vector<portable::ShownPopup> shown;
  std::string choice;
};

Popups& ThePopups() {
  static Popups popups;
  return popups;
}

}  // namespace

TMenuItem* TrackPopupMenuAt(TPopupMenu& menu, int x, int y) {
  portable::ShownPopup shown{x, y, {}, {}};
  const TMenuItem& root = *menu.Items();
  for (int i = 0; i < root.Count(); ++i) {
    shown.captions.push_back(root.Items(i)->Caption());
    if (root.Items(i)->Default() && shown.defaultCaption.empty()) {
      shown.defaultCaption = root.Items(i)->Caption();
    }
  }
  std::string choice;
  {
    Popups& popups = ThePopups();
    std::lock_guard<std::mutex> lock(popups.mutex);
    popups.shown.push_back(shown);
    choice = std::exchange(popups.choice, {});
  }
  if (Tracing()) TraceLine("menu", "shown at " + std::to_string(x) + "," + std::to_string(y));
  if (choice.empty()) return nullptr;
  for (int i = 0; i < root.Count(); ++i) {
    TMenuItem* item = root.Items(i);
    if (!item->IsLine() && item->Enabled() && item->Caption() == choice) return item;
  }
  return nullptr;
}

void EndPopupMenu() {
  // A menu of this backend is closed again before TrackPopupMenuAt returns.
}

namespace portable {

std::vector<ShownPopup> TakeShownPopups() {
  Popups& popups = ThePopups();
  std::lock_guard<std::mutex> lock(popups.mutex);
  return std::exchange(popups.shown, {});
}

void ChoosePopupItem(const std::string& caption) {
  Popups& popups = ThePopups();
  std::lock_guard<std::mutex> lock(popups.mutex);
  popups.choice = caption;
}

}  // namespace portable
}  // namespace host
