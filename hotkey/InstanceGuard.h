// The single-instance guard: a component that lets only MaxInstances copies of one executable
// run at once. The copies started from one path count themselves in an 8-byte named block of
// shared memory; a copy over the limit hides, surfaces the copy admitted last and terminates.
// GUI thread only; one guard per process.
#pragma once

#include <cstdint>
#include <string>

#include "host/Component.h"
#include "host/Event.h"
#include "host/Exception.h"
#include "host/SharedMemory.h"
#include "host/WinDefs.h"

namespace InstanceGuard {

// The block every copy started from one path shares.
struct TSharedInstanceInfo {
  std::uint32_t LastInstanceHandle;  // the application window of the copy admitted last
  std::uint32_t InstanceCount;       // admitted copies that have not ended yet
};
static_assert(sizeof(TSharedInstanceInfo) == 8);

class EInstanceGuard : public host::Exception {
 public:
  using host::Exception::Exception;
};

using TMaxInstancesReachedEvent =
    host::Event<void(host::TObject* Sender, std::uint32_t LastInstanceHandle)>;

class TInstanceGuard : public host::TComponent {
 public:
  // Raises EInstanceGuard "Only one copy of this component can be dropped on a form!" while
  // another guard exists, before anything of this one is built.
  explicit TInstanceGuard(host::TComponent* owner);
  // Gives back the count this copy took. Never raises: a failure is traced and dropped.
  ~TInstanceGuard() override;

  std::string MappingName;
  host::MappingHandle MappingHandle;  // held for the guard's life
  bool Counted = true;                // false once this copy has been refused
  bool Enabled = true;
  std::uint32_t MaxInstances = 1;
  TMaxInstancesReachedEvent OnMaxInstancesReached;

  // Runs at the end of loading (host::TComponent::EndLoading): the count and the decision. Raises
  // host::EOSError when the shared memory cannot be created or mapped.
  void Loaded() override;

 protected:
  // This copy is over the limit: it hides, surfaces the copy admitted last, and terminates.
  virtual void DoMaxInstancesReached(std::uint32_t LastInstanceHandle);

 private:
  host::MappedView view_;  // mapped at Loaded, held for the guard's life
  bool admitted_ = false;  // this copy's count is in the block
};

// The one guard of the process; null when none exists.
extern TInstanceGuard* ActiveInstanceGuard;

// The mapping's name for an executable path: every '\' and ' ' removed, so copies started from
// one folder count together and those from another do not.
std::string MappingNameFor(const std::string& exePath);
// The name a guard uses: MappingNameFor of the path by which the system knows the executable
// (host::NormalisedPath). Kernel object names heed letter case, and a folder reached as C:\Till
// and c:\till, by its short name or through a junction, is still one folder.
std::string GuardMappingName(const std::string& exePath);

// The block of the copies running from `exePath`, for a caller that wants to reach the copy
// admitted last: true when it was read. False when none runs (no block; `error` is then
// ERROR_SUCCESS) or when there is one that cannot be read (`error` says why: access denied, say).
bool ReadRunningInstance(const std::string& exePath, TSharedInstanceInfo& info, DWORD& error);
// The same for the block under one mapping name, whichever path it came from.
bool ReadInstanceBlock(const std::string& mappingName, TSharedInstanceInfo& info, DWORD& error);

// A window handle as the block keeps it: 32 bits, which Windows handles fit; sign-extended back.
std::uint32_t HandleToBlock(HWND wnd);
HWND BlockToHandle(std::uint32_t handle);

}  // namespace InstanceGuard
