#include "platform/virtual/Services.h"

#include <cstdio>
#include <set>

#include "hid/DBT.h"
#include "host/Messages.h"
#include "host/SysUtils.h"
#include "platform/common/ProductString.h"
#include "platform/common/ThreadSlot.h"

namespace virtualhid::detail {
namespace {

// Removes the thread's queued routines and drops the reads it left pending when it ends, as
// the system cancels a thread's I/O when the thread goes. Its OVERLAPPED records are not
// touched: they may live on the stack that is going away.
struct ThreadSlot {
  std::uint64_t key = common::NextThreadKey();

  ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.threads.Started(key);
  }
  ~ThreadSlot() {
    State& s = TheState();
    Lock lock(s.mutex);
    s.threads.Ended(key);
    s.apcs.Forget(key);
    common::TakeReads(s.reads, [this](const PendingRead& read) { return read.thread == key; });
  }
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;
};

const std::set<std::string>& FaultableEntryPoints() {
  static const std::set<std::string> names = {"HidD_GetAttributes",
                                              "HidD_GetProductString",
                                              "HidD_GetPreparsedData",
                                              "HidD_FreePreparsedData",
                                              "HidP_GetCaps",
                                              "HidD_GetNumInputBuffers",
                                              "HidD_SetNumInputBuffers",
                                              "HidD_GetFeature",
                                              "HidD_SetFeature",
                                              "SetupDiGetClassDevsA",
                                              "SetupDiEnumDeviceInterfaces",
                                              "SetupDiGetDeviceInterfaceDetailA",
                                              "SetupDiGetDeviceRegistryPropertyA",
                                              "SetupDiDestroyDeviceInfoList",
                                              "CreateFileA",
                                              "CloseHandle",
                                              "ReadFileEx",
                                              "GetOverlappedResult",
                                              "CancelIo",
                                              "CancelIoEx"};
  return names;
}

}  // namespace

Device::Device(DeviceId deviceId, const DeviceConfig& deviceConfig)
    : id(deviceId),
      config(deviceConfig),
      firmware(deviceConfig.firmware, deviceConfig.replyAfterPolls, deviceConfig.openLog,
               deviceConfig.featureReportLength) {
  if (config.product) product = common::UsbString(*config.product);
}

State& TheState() {
  static State* state = new State();  // deliberately never destroyed, see the header
  return *state;
}

std::uint64_t CurrentThreadKey() {
  return common::ThisThreadSlot<ThreadSlot>().key;
}

bool TakeFault(State& s, const char* entryPoint) {
  // Every entry point asks, and nearly always nothing is armed: no name is built for the search
  // then.
  if (s.faults.empty()) return false;
  auto it = s.faults.find(entryPoint);
  if (it == s.faults.end() || it->second.remaining <= 0) return false;
  --it->second.remaining;
  SetError(it->second.error);
  return true;
}

bool IsFaultableEntryPoint(const std::string& entryPoint) {
  return FaultableEntryPoints().count(entryPoint) != 0;
}

Device* FindDeviceLocked(State& s, DeviceId id) {
  if (id < 0 || static_cast<std::size_t>(id) >= s.devices.size()) return nullptr;
  return s.devices[static_cast<std::size_t>(id)].get();
}

Device* UsableDevice(State& s, HANDLE handle, HandleRecord** record, DWORD& error) {
  HandleRecord* found = s.handles.Find(handle);
  if (found == nullptr) {
    error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  Device* device = FindDeviceLocked(s, found->device);
  if (device == nullptr || !device->plugged || device->devInst != found->devInst) {
    error = ERROR_DEVICE_NOT_CONNECTED;
    return nullptr;
  }
  if (record != nullptr) *record = found;
  return device;
}

bool PlugLocked(State& s, Device& device) {
  if (device.plugged) return false;
  device.plugged = true;
  device.plugNumber = ++s.plugCount;
  device.devInst = ++s.nextDevInst;
  char serial[32];
  std::snprintf(serial, sizeof serial, "%d&%08x&0&%04x", device.id + 1,
                static_cast<unsigned>(device.plugNumber), static_cast<unsigned>(device.id));
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", device.config.vendorId,
                device.config.productId);
  device.path = std::string("\\\\?\\hid#virtual_") + ids + "#" + serial +
                "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  s.pluggedPaths[host::UpperCase(device.path)] = device.id;
  device.firmware.PowerCycle();
  return true;
}

bool UnplugLocked(State& s, Device& device) {
  if (!device.plugged) return false;
  device.plugged = false;
  device.unplugAfterSet = false;
  device.unplugAfterGet = false;
  device.inputQueue.clear();
  const DeviceId id = device.id;
  EndReadsLocked(
      s,
      [&s, id](const PendingRead& read) {
        const HandleRecord* record = s.handles.Find(read.handle);
        return record != nullptr && record->device == id;
      },
      ERROR_DEVICE_NOT_CONNECTED);
  device.devInst = 0;
  s.pluggedPaths.erase(host::UpperCase(device.path));
  device.path.clear();
  return true;
}

void CompleteReadLocked(State& s, const PendingRead& read, DWORD error, DWORD bytes) {
  common::CompleteRead(s.apcs, read, error, bytes);
  s.completed.notify_all();
}

void PostDeviceChange() {
  host::BroadcastToProcessWindows(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

}  // namespace virtualhid::detail
