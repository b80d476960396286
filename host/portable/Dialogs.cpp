#include <mutex>
#include <utility>

#include "host/Dialogs.h"
#include "host/Trace.h"
#include "host/portable/MessageBoxes.h"

namespace host {
namespace {

struct Shown {
  std::mutex mutex;
  std::vector<portable::ShownMessageBox> boxes;
};

Shown& ShownBoxes() {
  static Shown shown;
  return shown;
}

}  // namespace

void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                    TMsgDlgType type, bool rightToLeft) {
  if (Tracing()) TraceLine("message", caption + ": " + text);
  Shown& shown = ShownBoxes();
  std::lock_guard<std::mutex> lock(shown.mutex);
  shown.boxes.push_back({owner, text, caption, type, rightToLeft});
}

namespace portable {

std::vector<ShownMessageBox> TakeShownMessageBoxes() {
  Shown& shown = ShownBoxes();
  std::lock_guard<std::mutex> lock(shown.mutex);
  return std::exchange(shown.boxes, {});
}

}  // namespace portable
}  // namespace host
