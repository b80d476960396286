// The test-facing side of the services: adding, plugging and feeding devices, watching what the
// firmware got, injecting faults and starting afresh.
#include "platform/virtual/Scenario.h"
#include "platform/virtual/Services.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid {

using detail::Device;
using detail::FindDeviceLocked;
using detail::Lock;
using detail::State;
using detail::TheState;

namespace {

constexpr std::size_t kInputQueueLimit = 512;

// Runs `read` on the device under the lock; `fallback` for an unknown device.
template <class T, class Read>
T WithDevice(DeviceId id, T fallback, Read read) {
  State& s = TheState();
  Lock lock(s.mutex);
  Device* d = FindDeviceLocked(s, id);
  return d != nullptr ? read(*d) : fallback;
}

}  // namespace

DeviceConfig ReadyDrawer() {
  DeviceConfig c;
  c.name = "drawer";
  c.product = "QV USB Cash Drawer";
  return c;
}

DeviceId AddDevice(const DeviceConfig& config, bool pluggedIn) {
  DeviceId id = kNoDevice;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    id = static_cast<DeviceId>(s.devices.size());
    s.devices.push_back(std::make_unique<Device>(id, config));
    if (pluggedIn) detail::PlugLocked(s, *s.devices.back());
  }
  if (pluggedIn) detail::PostDeviceChange();
  return id;
}

bool Plug(DeviceId device) {
  bool changed =
      WithDevice(device, false, [](Device& d) { return detail::PlugLocked(TheState(), d); });
  if (changed) detail::PostDeviceChange();
  return changed;
}

bool Unplug(DeviceId device) {
  bool changed =
      WithDevice(device, false, [](Device& d) { return detail::UnplugLocked(TheState(), d); });
  if (changed) detail::PostDeviceChange();
  return changed;
}

bool IsPlugged(DeviceId device) {
  return WithDevice(device, false, [](Device& d) { return d.plugged; });
}

std::vector<DeviceId> Devices() {
  State& s = TheState();
  Lock lock(s.mutex);
  std::vector<DeviceId> ids;
  for (const auto& d : s.devices) ids.push_back(d->id);
  return ids;
}

DeviceId FindDevice(const std::string& name) {
  State& s = TheState();
  Lock lock(s.mutex);
  for (const auto& d : s.devices) {
    if (d->config.name == name) return d->id;
  }
  return kNoDevice;
}

const DeviceConfig* Config(DeviceId device) {
  return WithDevice(device, static_cast<const DeviceConfig*>(nullptr),
                    [](Device& d) { return &d.config; });
}

std::string DevicePath(DeviceId device) {
  return WithDevice(device, std::string(), [](Device& d) { return d.path; });
}

DWORD DevInst(DeviceId device) {
  return WithDevice(device, DWORD{0}, [](Device& d) { return d.devInst; });
}

bool QueueInputReport(DeviceId device, const std::vector<std::uint8_t>& report) {
  State& s = TheState();
  Lock lock(s.mutex);
  Device* d = FindDeviceLocked(s, device);
  if (d == nullptr || !d->plugged || d->config.inputReportLength == 0) return false;
  std::vector<std::uint8_t> full(report);
  full.resize(d->config.inputReportLength, 0);
  for (auto it = s.reads.begin(); it != s.reads.end(); ++it) {
    const detail::HandleRecord* record = s.handles.Find(it->handle);
    if (record == nullptr || record->device != device) continue;
    const detail::PendingRead read = *it;
    s.reads.erase(it);
    std::copy(full.begin(), full.end(), read.buffer);
    detail::CompleteReadLocked(s, read, ERROR_SUCCESS, static_cast<DWORD>(full.size()));
    return true;
  }
  if (d->inputQueue.size() == kInputQueueLimit) d->inputQueue.pop_front();
  d->inputQueue.push_back(std::move(full));
  return true;
}

std::vector<std::vector<std::uint8_t>> CommandsReceived(DeviceId device) {
  return WithDevice(device, std::vector<std::vector<std::uint8_t>>(),
                    [](Device& d) { return d.firmware.Commands(); });
}

int DrawerOpens(DeviceId device) {
  return WithDevice(device, 0, [](Device& d) { return d.firmware.Opens(); });
}

int FeatureGets(DeviceId device) {
  return WithDevice(device, 0, [](Device& d) { return d.firmware.Gets(); });
}

std::uint8_t DrawerMemory(DeviceId device, std::uint8_t address) {
  return WithDevice(device, std::uint8_t{0},
                    [address](Device& d) { return d.firmware.Memory(address); });
}

std::vector<HandleInfo> Handles(DeviceId device) {
  State& s = TheState();
  Lock lock(s.mutex);
  std::vector<HandleInfo> infos;
  const Device* d = FindDeviceLocked(s, device);
  for (const auto& [handle, record] : s.handles) {
    if (record.device != device) continue;
    const bool connected = d != nullptr && d->plugged && d->devInst == record.devInst;
    infos.push_back({record.access, record.overlapped, connected});
  }
  return infos;
}

int OpenHandles(DeviceId device) {
  return static_cast<int>(Handles(device).size());
}

int OpenHandles() {
  State& s = TheState();
  Lock lock(s.mutex);
  return static_cast<int>(s.handles.Count());
}

int PendingReads(DeviceId device) {
  State& s = TheState();
  Lock lock(s.mutex);
  int n = 0;
  for (const detail::PendingRead& read : s.reads) {
    const detail::HandleRecord* record = s.handles.Find(read.handle);
    if (record != nullptr && record->device == device) ++n;
  }
  return n;
}

int PreparsedDataAlive() {
  State& s = TheState();
  Lock lock(s.mutex);
  return static_cast<int>(s.preparsed.Count());
}

int DeviceInfoSetsAlive() {
  State& s = TheState();
  Lock lock(s.mutex);
  return static_cast<int>(s.sets.Count());
}

bool FailNextCalls(const std::string& entryPoint, int count, DWORD error) {
  if (!detail::IsFaultableEntryPoint(entryPoint)) return false;
  State& s = TheState();
  Lock lock(s.mutex);
  s.faults[entryPoint] = {count, error};
  return true;
}

bool UnplugDuringCommand(DeviceId device, UnplugMoment moment) {
  return WithDevice(device, false, [moment](Device& d) {
    (moment == UnplugMoment::AfterNextAcceptedSet ? d.unplugAfterSet : d.unplugAfterGet) = true;
    return true;
  });
}

void Reset() {
  detail::StopScenarioTimers();
  UnregisterLibraries();
  State& s = TheState();
  Lock lock(s.mutex);
  s.devices.clear();
  s.pluggedPaths.clear();
  s.handles.Clear();
  s.reads.clear();
  s.apcs.Clear();
  s.sets.Clear();
  s.preparsed.Clear();
  s.faults.clear();
}

}  // namespace virtualhid
