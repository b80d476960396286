// Icons and image lists. A TIcon holds one picture: a handle of the system's own, or the name of
// one of the program's icon resources, loaded when its handle is first read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Exception.h"
#include "host/UniqueHandle.h"
#include "host/WinDefs.h"

namespace host {

// The program's own icon in the resources of each executable (the executable's icon too).
inline constexpr const char* kProgramIconName = "MAINICON";

// A picture that cannot be read.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// The backends' icon calls. A loaded icon is a copy of the program's own and is destroyed by its
// holder; null when the resource is missing or cannot be read.
HICON LoadIconResource(const std::string& name);
HICON CopyIconHandle(HICON icon);
void DestroyIconHandle(HICON icon);

struct ReleaseIcon {
  void operator()(HICON icon) const { DestroyIconHandle(icon); }
};
// Owns one icon handle.
using IconHandle = UniqueHandle<HICON, ReleaseIcon>;

class TIcon : public TObject {
 public:
  TIcon() = default;

  // The picture is the program's icon resource `name`, read when the handle is first asked for.
  void LoadFromResourceName(const std::string& name);
  // Null for an empty icon. Raises EReadError when the resource cannot be read; asking again
  // tries again.
  HICON Handle();
  bool Empty() const { return resource_.empty() && !handle_.Get(); }
  // Takes a copy of the source's picture (an unread resource stays a name), then OnChange.
  void Assign(TIcon& source);

  TNotifyEvent OnChange;

 private:
  void Changed();

  std::string resource_;
  IconHandle handle_;
};

// Pictures kept by index, each a copy.
class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* owner) : TComponent(owner) {}

  int Count() const { return static_cast<int>(images_.size()); }
  // Appends a copy of the icon; returns its index.
  int AddIcon(TIcon& icon);
  // Copies the picture at `index` into `target` (a change of the target); an index outside the
  // list leaves it alone and returns false.
  bool GetIcon(int index, TIcon& target) const;

 private:
  std::vector<std::unique_ptr<TIcon>> images_;
};

}  // namespace host
