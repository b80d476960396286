// The portable backend's popup menus: each showing is recorded, and closes at once with the item
// a test chose beforehand (or with none).
#pragma once

#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace host::portable {

struct ShownPopup {
  int x = 0;
  int y = 0;
  // The top-level items' captions in order ("-" for a separator); the default item's caption.
  std::vector<std::string> captions;
  std::string defaultCaption;
};
std::vector<ShownPopup> TakeShownPopups();
// The next menu shown closes with its item of this caption chosen (empty: with none).
void ChoosePopupItem(const std::string& caption);

}  // namespace host::portable
