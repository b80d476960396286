// Puts the three hidraw libraries into the loader's registry. The bindings resolve every export
// they name, so each library also carries the exports the HID layer never calls, as entry points
// that fail.
#include <set>

#include "hid/BindingTables.h"
#include "platform/hidraw/Errors.h"
#include "platform/hidraw/Hidraw.h"
#include "platform/hidraw/HotplugWatch.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/Linux.h"
#include "platform/hidraw/State.h"

namespace hidraw {
namespace {

using detail::Lock;
using detail::State;
using detail::TheState;

// Stands in for every unused export, whatever its parameters: on x86-64 the caller cleans up
// the arguments, and all of them read a zero result as failure (FALSE, a null handle or an
// unsuccessful count).
ULONG_PTR WINAPI NotImplemented() {
  SetError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

template <class Row, std::size_t N>
hid::SymbolTable WithStubs(hid::SymbolTable implemented, const Row (&rows)[N]) {
  std::set<std::string> present;
  for (const auto& [name, address] : implemented) present.insert(name);
  for (const Row& row : rows) {
    if (present.insert(row.exportName).second) {
      implemented.emplace_back(row.exportName, detail::ToFarProc(&NotImplemented));
    }
  }
  return implemented;
}

template <class Count>
int Observe(Count count) {
  State& s = TheState();
  Lock lock(s.mutex);
  return static_cast<int>(count(s));
}

}  // namespace

System LinuxSystem() {
  return {detail::MakeUdevDirectory(), detail::MakeKernelIo()};
}

Registration::Registration(System system) {
  std::shared_ptr<DeviceDirectory> directory = system.directory;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    s.system = std::move(system);
  }
  hid::RegisterLibrary(kHidLibraryName, WithStubs(detail::HidSymbols(), hid::kHidBindings));
  hid::RegisterLibrary(kSetupApiLibraryName,
                       WithStubs(detail::SetupApiSymbols(), hid::kSetupApiBindings));
  hid::RegisterLibrary(kKernel32LibraryName, detail::Kernel32Symbols());
  watch_ = std::make_unique<HotplugWatch>(directory ? directory->Watch() : nullptr);
}

Registration::~Registration() {
  watch_.reset();  // no broadcast after this
  hid::UnregisterLibrary(kHidLibraryName);
  hid::UnregisterLibrary(kSetupApiLibraryName);
  hid::UnregisterLibrary(kKernel32LibraryName);
  State& s = TheState();
  Lock lock(s.mutex);
  s.system = System{};
}

bool Registration::Watching() const {
  return watch_ && watch_->Running();
}

int OpenHandles() {
  return Observe([](State& s) { return s.handles.size(); });
}
int PendingReads() {
  return Observe([](State& s) { return s.reads.size(); });
}
int PreparsedDataAlive() {
  return Observe([](State& s) { return s.preparsed.size(); });
}
int DeviceInfoSetsAlive() {
  return Observe([](State& s) { return s.sets.size(); });
}

}  // namespace hidraw
