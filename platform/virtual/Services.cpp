#include "platform/virtual/Services.h"

#include <atomic>
#include <cstdio>
#include <set>

#include "host/Messages.h"
#include "host/SysUtils.h"

namespace virtualhid::detail {
namespace {

constexpr WPARAM kDbtDevnodesChanged = 7;

// The system keeps an NTSTATUS in OVERLAPPED.Internal and hands the completion routine the
// matching system error code.
struct StatusPair {
  DWORD error;
  ULONG_PTR status;
};
constexpr StatusPair kStatusOf[] = {
    {ERROR_SUCCESS, kStatusSuccess},          {ERROR_OPERATION_ABORTED, 0xC0000120},  // cancelled
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D},  // device not connected
    {ERROR_INVALID_HANDLE, 0xC0000008},       {ERROR_GEN_FAILURE, 0xC0000001},  // unsuccessful
};

ULONG_PTR StatusOf(DWORD error) {
  for (const StatusPair& p : kStatusOf) {
    if (p.error == error) return p.status;
  }
  return 0xC0000001;
}

}  // namespace

DWORD ErrorOfStatus(ULONG_PTR status) {
  for (const StatusPair& p : kStatusOf) {
    if (p.status == status) return p.error;
  }
  return ERROR_GEN_FAILURE;
}

namespace {

// Removes the thread's queued routines and drops the reads it left pending when it ends, as
// the system cancels a thread's I/O when the thread goes. Its OVERLAPPED records are not
// touched: they may live on the stack that is going away.
void WINAPI EndOfThread(void* value) {
  const auto key = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(value));
  State& s = TheState();
  Lock lock(s.mutex);
  s.apcs.erase(key);
  std::deque<PendingRead> keep;
  for (const PendingRead& read : s.reads) {
    if (read.thread != key) keep.push_back(read);
  }
  s.reads.swap(keep);
}

#ifdef _WIN32
// mingw runs thread_local destructors after the object's storage is gone, so the end of a
// thread is caught with a fiber-local slot's callback there.
void WatchEndOfThread(std::uint64_t key) {
  static const DWORD slot = FlsAlloc(&EndOfThread);
  FlsSetValue(slot, reinterpret_cast<void*>(static_cast<std::uintptr_t>(key)));
}
#else
struct EndOfThreadWatch {
  std::uint64_t key = 0;
  ~EndOfThreadWatch() {
    if (key != 0) EndOfThread(reinterpret_cast<void*>(static_cast<std::uintptr_t>(key)));
  }
};
void WatchEndOfThread(std::uint64_t key) {
  thread_local EndOfThreadWatch watch;
  watch.key = key;
}
#endif

std::uint64_t NextThreadKey() {
  static std::atomic<std::uint64_t> next{0};
  return ++next;
}

thread_local std::uint64_t tlsThreadKey = 0;
thread_local DWORD tlsLastError = 0;

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
                                              "CancelIo"};
  return names;
}

}  // namespace

Device::Device(DeviceId deviceId, const DeviceConfig& deviceConfig)
    : id(deviceId),
      config(deviceConfig),
      firmware(deviceConfig.firmware, deviceConfig.replyAfterPolls, deviceConfig.openLog,
               deviceConfig.featureReportLength) {
  if (config.product) {
    product = host::Utf8ToUtf16(*config.product);
    // A USB string descriptor holds at most 126 characters.
    if (product.size() > 126) product.resize(126);
  }
}

State& TheState() {
  static State* state = new State();  // deliberately never destroyed, see the header
  return *state;
}

std::uint64_t CurrentThreadKey() {
  if (tlsThreadKey == 0) {
    tlsThreadKey = NextThreadKey();
    WatchEndOfThread(tlsThreadKey);
  }
  return tlsThreadKey;
}

void SetError(DWORD error) {
  tlsLastError = error;
}
DWORD LastError() {
  return tlsLastError;
}

bool TakeFault(State& s, const char* entryPoint) {
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
  auto it = s.handles.find(handle);
  if (it == s.handles.end()) {
    error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  Device* device = FindDeviceLocked(s, it->second.device);
  if (device == nullptr || !device->plugged || device->devInst != it->second.devInst) {
    error = ERROR_DEVICE_NOT_CONNECTED;
    return nullptr;
  }
  if (record != nullptr) *record = &it->second;
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
        auto it = s.handles.find(read.handle);
        return it != s.handles.end() && it->second.device == id;
      },
      ERROR_DEVICE_NOT_CONNECTED);
  device.devInst = 0;
  device.path.clear();
  return true;
}

void CompleteReadLocked(State& s, const PendingRead& read, DWORD error, DWORD bytes) {
  read.overlapped->Internal = StatusOf(error);
  read.overlapped->InternalHigh = bytes;
  s.apcs[read.thread].push_back({read.routine, error, bytes, read.overlapped});
  s.completed.notify_all();
}

void PostDeviceChange() {
  host::BroadcastToProcessWindows(WM_DEVICECHANGE, kDbtDevnodesChanged, 0);
}

}  // namespace virtualhid::detail
