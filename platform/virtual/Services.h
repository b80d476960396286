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
#include "platform/virtual/Firmware.h"
#include "platform/virtual/VirtualHid.h"

namespace virtualhid::detail {

// NTSTATUS values kept in OVERLAPPED.Internal, as the system keeps them there.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x00000103;

// System error codes the services report beyond those of host/WinDefs.h (named apart from the
// SDK's macros, which exist on Windows).
constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorNoSuchDevinst = 0xE000020Bu;

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

struct PendingRead {
  HANDLE handle;
  std::uint64_t thread;
  OVERLAPPED* overlapped;
  BYTE* buffer;
  DWORD count;
  LPOVERLAPPED_COMPLETION_ROUTINE routine;
};

struct Apc {
  LPOVERLAPPED_COMPLETION_ROUTINE routine;
  DWORD error;
  DWORD bytes;
  OVERLAPPED* overlapped;
};

// One interface as a device-info set saw it when it was made.
struct InterfaceSnapshot {
  DeviceId device;
  DWORD devInst;
  std::string path;
  DeviceConfig config;
};

struct PreparsedBlob {
  std::uint32_t tag;
  HIDP_CAPS caps;
};

struct Fault {
  int remaining = 0;
  DWORD error = 0;
};

struct State {
  std::mutex mutex;
  std::condition_variable completed;  // a completion routine was queued or a read ended

  std::vector<std::unique_ptr<Device>> devices;  // DeviceId is the index
  std::map<HANDLE, HandleRecord> handles;
  std::deque<PendingRead> reads;  // oldest first
  std::map<std::uint64_t, std::deque<Apc>> apcs;
  std::map<HDEVINFO, std::vector<InterfaceSnapshot>> sets;
  std::map<const void*, std::unique_ptr<PreparsedBlob>> preparsed;
  std::map<std::string, Fault> faults;

  std::uintptr_t nextHandle = 0x7D000000;
  std::uintptr_t nextSet = 0x5E700000;
  DWORD nextDevInst = 0x1000;
  std::uint32_t plugCount = 0;
};

// The one state object. It is never destroyed, so reader threads and thread-exit cleanup may
// still reach it while the program ends.
State& TheState();
using Lock = std::unique_lock<std::mutex>;

// A key for the calling thread that no later thread gets again.
std::uint64_t CurrentThreadKey();

// The calling thread's last error (GetLastError / SetLastError of the virtual kernel32).
void SetError(DWORD error);
DWORD LastError();

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

// The system error code of a status kept in OVERLAPPED.Internal.
DWORD ErrorOfStatus(ULONG_PTR status);

// The system's device-change broadcast; call without the lock.
void PostDeviceChange();

template <class Match>
void EndReadsLocked(State& s, Match match, DWORD error) {
  std::deque<PendingRead> keep;
  std::vector<PendingRead> ended;
  for (const PendingRead& read : s.reads) {
    if (match(read)) {
      ended.push_back(read);
    } else {
      keep.push_back(read);
    }
  }
  s.reads.swap(keep);
  for (const PendingRead& read : ended) CompleteReadLocked(s, read, error, 0);
}

}  // namespace virtualhid::detail
