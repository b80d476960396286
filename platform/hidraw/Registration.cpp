// Puts the three hidraw libraries into the loader's registry over the system they run on, with
// the thread that watches for hot-plugs.
#include <iostream>

#include "platform/common/Exports.h"
#include "platform/hidraw/Hidraw.h"
#include "platform/hidraw/HotplugWatch.h"
#include "platform/hidraw/Layers.h"
#include "platform/hidraw/Linux.h"
#include "platform/hidraw/State.h"
#include "platform/hidraw/Udev.h"

namespace hidraw {
namespace {

namespace common = platform::common;
using detail::Lock;
using detail::State;
using detail::TheState;

template <class Count>
int Observe(Count count) {
  State& s = TheState();
  Lock lock(s.mutex);
  return static_cast<int>(count(s));
}

}  // namespace

System LinuxSystem(std::ostream& errors) {
  return {detail::MakeUdevDirectory(detail::kUdevLibraryName, errors), detail::MakeKernelIo()};
}

System LinuxSystem() {
  return LinuxSystem(std::cerr);
}

Registration::Registration(System system) {
  std::shared_ptr<DeviceDirectory> directory = system.directory;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    s.system = std::move(system);
  }
  common::RegisterLibraries(detail::HidEntries(), detail::SetupApiEntries(),
                            detail::Kernel32Entries());
  watch_ = std::make_unique<HotplugWatch>(directory ? directory->Watch() : nullptr);
}

Registration::~Registration() {
  watch_.reset();  // no broadcast after this
  common::UnregisterLibraries();
  State& s = TheState();
  Lock lock(s.mutex);
  s.system = System{};
}

bool Registration::Watching() const {
  return watch_ && watch_->Running();
}

int OpenHandles() {
  return Observe([](State& s) { return s.handles.Count(); });
}
int PendingReads() {
  return Observe([](State& s) { return s.reads.size(); });
}
int PreparsedDataAlive() {
  return Observe([](State& s) { return s.preparsed.Count(); });
}
int DeviceInfoSetsAlive() {
  return Observe([](State& s) { return s.sets.Count(); });
}

}  // namespace hidraw
