// The process-wide state behind the virtual libraries: devices, open handles, pending reads,
// queued completion routines, device-info sets, preparsed data and injected faults. One lock
// guards all of it; completion routines and broadcasts run outside it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/WinTypes.h"
#include "platform/common/Completion.h"
#include "platform/common/DeviceInfoSets.h"
#include "platform/common/HandleTable.h"
#include "platform/common/LastError.h"
#include "platform/common/Preparsed.h"
#include "platform/common/ThreadHandles.h"
#include "platform/virtual/Firmware.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid::detail {

// What the services share with the hidraw ones, under the names the layers here use.
namespace common = platform::common;
using common::kErrorInvalidUserBuffer;
using common::kStatusPending;
using common::SetError;

struct Device {
  DeviceId id = kNoDevice;
  DeviceConfig config;
  std::u16string product;  // served form of config.product
  FirmwareModel firmware;
  bool plugged = false;
  std::uint32_t plugNumber = 0;  // process-wide count of plug-ins, the path's serial
  DWORD devInst = 0;
  std::string path;
  std::deque<std::vector<std::uint8_t>> inputQueue;
  bool unplugAfterSet = false;
  bool unplugAfterGet = false;

  Device(DeviceId deviceId, const DeviceConfig& deviceConfig);
};

struct HandleRecord {
  DeviceId device = kNoDevice;
  DWORD devInst = 0;  // the plug it was opened on
  DWORD access = 0;
  bool overlapped = false;
  ULONG numInputBuffers = 32;
};

using PendingRead = common::ReadRequest;

// One interface as a device-info set saw it when it was made.
struct InterfaceSnapshot {
  DeviceId device;
  DWORD devInst;
  std::string path;
  DeviceConfig config;
};

struct Fault {
  int remaining = 0;
  DWORD error = 0;
};

struct State {
  std::mutex mutex;
  std::condition_variable completed;  // a completion routine was queued or a read ended

  std::vector<std::unique_ptr<Device>> devices;  // DeviceId is the index
  // The plugged-in devices by device path in upper case. An enumeration opens every interface
  // several times: walking all the devices at each opening made it quadratic.
  std::map<std::string, DeviceId> pluggedPaths;
  common::HandleTable<HandleRecord> handles{0x7D000000};
  std::deque<PendingRead> reads;  // oldest first
  common::ApcQueues apcs;
  common::ThreadHandles threads{0x7C000000};
  common::DeviceInfoSets<InterfaceSnapshot> sets{0x5E700000};
  common::PreparsedTable preparsed;
  std::map<std::string, Fault> faults;

  DWORD nextDevInst = 0x1000;
  std::uint32_t plugCount = 0;
};

// The one state object. It is never destroyed, so reader threads and thread-exit cleanup may
// still reach it while the program ends.
State& TheState();
using Lock = std::unique_lock<std::mutex>;

// A key for the calling thread that no later thread gets again.
std::uint64_t CurrentThreadKey();

// With the lock held: a fault armed for `entryPoint` is taken (and its error set) here.
bool TakeFault(State& s, const char* entryPoint);
// The entry points that honour faults.
bool IsFaultableEntryPoint(const std::string& entryPoint);

Device* FindDeviceLocked(State& s, DeviceId id);
// The device behind a handle that may be used now; else null with the error to report.
Device* UsableDevice(State& s, HANDLE handle, HandleRecord** record, DWORD& error);

// With the lock held. Both return whether the state changed; the caller posts the broadcast
// once the lock is released.
bool PlugLocked(State& s, Device& device);
bool UnplugLocked(State& s, Device& device);

// Ends every pending read that `match` selects: 0 bytes, `error`, routine queued for its thread.
template <class Match>
void EndReadsLocked(State& s, Match match, DWORD error);
// Completes one read with data or with an error, queueing its routine.
void CompleteReadLocked(State& s, const PendingRead& read, DWORD error, DWORD bytes);

// The system's device-change broadcast; call without the lock.
void PostDeviceChange();

template <class Match>
void EndReadsLocked(State& s, Match match, DWORD error) {
  for (const PendingRead& read : common::TakeReads(s.reads, match)) {
    CompleteReadLocked(s, read, error, 0);
  }
}

}  // namespace virtualhid::detail
