#include "hotkey/InstanceGuard.h"

#include <cstring>
#include <utility>

#include "host/Application.h"
#include "host/Process.h"
#include "host/Shell.h"
#include "host/SysUtils.h"
#include "host/Trace.h"

namespace InstanceGuard {

TInstanceGuard* ActiveInstanceGuard = nullptr;

namespace {

constexpr DWORD kBlockSize = sizeof(TSharedInstanceInfo);

// Checked in the base initializer, so that a second guard raises before anything of it exists.
host::TComponent* NoOtherGuard(host::TComponent* owner) {
  if (ActiveInstanceGuard != nullptr) {
    throw EInstanceGuard("Only one copy of this component can be dropped on a form!");
  }
  return owner;
}

// The running executable, from the application object when there is one.
std::string ExePath() {
  return host::Application != nullptr ? host::Application->ExeName() : host::ModuleFileName();
}

// This copy's application window, the one another copy brings to the foreground.
HWND OwnWindow() {
  return host::Application != nullptr ? host::Application->Handle() : nullptr;
}

TSharedInstanceInfo& Info(const host::MappedView& view) {
  return *static_cast<TSharedInstanceInfo*>(view.Get());
}

// A guard that still exists when the program ends is destroyed then, so that its count is given
// back even when its owner never was freed.
struct UnitShutdown {
  UnitShutdown() = default;
  UnitShutdown(const UnitShutdown&) = delete;
  UnitShutdown& operator=(const UnitShutdown&) = delete;
  ~UnitShutdown() { delete ActiveInstanceGuard; }
};
const UnitShutdown unitShutdown;

}  // namespace

TInstanceGuard::TInstanceGuard(host::TComponent* owner) : host::TComponent(NoOtherGuard(owner)) {
  ActiveInstanceGuard = this;
}

void TInstanceGuard::Loaded() {
  host::TComponent::Loaded();
  if (Designing() || !Enabled) return;
  MappingName = GuardMappingName(ExePath());
  DWORD error = ERROR_SUCCESS;
  bool refused = false;
  std::uint32_t lastInstance = 0;
  {
    // The check and the count are made under a lock of the machine, which the
    // destructor's decrement takes too, so two copies starting at once cannot both be admitted.
    const host::NamedLock lock = host::AcquireNamedLock(MappingName, error);
    if (!lock.Held()) host::RaiseLastOSError(error);
    bool alreadyExisted = false;
    host::MappingHandle mapping =
        host::CreateNamedMapping(MappingName, kBlockSize, alreadyExisted, error);
    if (!mapping) host::RaiseLastOSError(error);
    if (alreadyExisted) {
      // Another copy made the block: it is opened by name. A block that cannot
      // be opened or mapped raises, as one that cannot be created does; going on would count
      // nothing here and yet give a count back at the end.
      mapping = host::OpenNamedMapping(MappingName, error);
      if (!mapping) host::RaiseLastOSError(error);
    }
    host::MappedView view = host::MapView(mapping, kBlockSize, error);
    if (!view) host::RaiseLastOSError(error);
    TSharedInstanceInfo& info = Info(view);
    if (!alreadyExisted) {
      // The first copy runs whatever MaxInstances says.
      info.LastInstanceHandle = HandleToBlock(OwnWindow());
      info.InstanceCount = 1;
      admitted_ = true;
    } else if (info.InstanceCount < MaxInstances) {
      info.LastInstanceHandle = HandleToBlock(OwnWindow());
      info.InstanceCount += 1;
      admitted_ = true;
    } else {
      Counted = false;
      lastInstance = info.LastInstanceHandle;
      refused = true;
    }
    // Kept for the guard's life: the block lives while a copy holds it.
    MappingHandle = std::move(mapping);
    view_ = std::move(view);
  }
  // Outside the lock: restoring the other copy's window waits for that copy's thread, which may
  // itself be waiting for the lock in its guard's destructor.
  if (refused) DoMaxInstancesReached(lastInstance);
}

void TInstanceGuard::DoMaxInstancesReached(std::uint32_t LastInstanceHandle) {
  if (host::Application != nullptr) {
    host::Application->ShowMainForm = false;
    // No taskbar button for this copy.
    host::ShowWindow(host::Application->Handle(), SW_HIDE);
  }
  if (OnMaxInstancesReached) OnMaxInstancesReached(this, LastInstanceHandle);
  const HWND last = BlockToHandle(LastInstanceHandle);
  if (host::IsIconic(last)) host::ShowWindow(last, SW_RESTORE);
  host::SetForegroundWindow(last);
  if (host::Application != nullptr) host::Application->Terminate();
}

TInstanceGuard::~TInstanceGuard() {
  ActiveInstanceGuard = nullptr;
  if (Designing()) return;
  // Only a count this copy took is given back. A copy whose Loaded failed or never
  // ran took none, and must not lower the count of the copies that run.
  if (Enabled && Counted && admitted_) {
    try {
      DWORD error = ERROR_SUCCESS;
      const host::NamedLock lock = host::AcquireNamedLock(MappingName, error);
      if (!lock.Held()) host::RaiseLastOSError(error);
      const host::MappingHandle mapping = host::OpenNamedMapping(MappingName, error);
      if (!mapping) host::RaiseLastOSError(error);
      const host::MappedView view = host::MapView(mapping, kBlockSize, error);
      if (!view) host::RaiseLastOSError(error);
      // A count someone else already lowered to 0 stays 0 rather than wrapping round.
      if (Info(view).InstanceCount > 0) Info(view).InstanceCount -= 1;
    } catch (...) {
      // A destructor must not raise (the process would end): the failure is recorded, and
      // everything is released all the same.
      host::TraceDroppedException("instance guard destruction");
    }
  }
  view_.Reset();
  MappingHandle.Reset();
}

std::string MappingNameFor(const std::string& exePath) {
  std::string name;
  for (const char c : exePath) {
    if (c != '\\' && c != ' ') name += c;
  }
  return name;
}

std::string GuardMappingName(const std::string& exePath) {
  return MappingNameFor(host::NormalisedPath(exePath));
}

bool ReadRunningInstance(const std::string& exePath, TSharedInstanceInfo& info, DWORD& error) {
  return ReadInstanceBlock(GuardMappingName(exePath), info, error);
}

bool ReadInstanceBlock(const std::string& name, TSharedInstanceInfo& info, DWORD& error) {
  // Not while a copy is halfway through its count.
  const host::NamedLock lock = host::AcquireNamedLock(name, error);
  if (!lock.Held()) return false;
  const host::MappingHandle mapping = host::OpenNamedMapping(name, error);
  if (!mapping) {
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
    return false;
  }
  const host::MappedView view = host::MapView(mapping, kBlockSize, error);
  if (!view) return false;
  std::memcpy(&info, view.Get(), sizeof(info));
  return true;
}

std::uint32_t HandleToBlock(HWND wnd) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(wnd));
}

HWND BlockToHandle(std::uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

}  // namespace InstanceGuard
