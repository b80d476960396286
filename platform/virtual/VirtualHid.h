// The virtual HID services: in-process "HID.dll", "SetupApi.dll" and the kernel32 file calls,
// serving virtual device interfaces with scripted firmware. Integrators test their point-of-sale
// software against them without hardware, and every test above the HID layer runs on them.
//
// Devices and the service state are process-wide, as the libraries they stand for are. Devices
// are enumerated in the order they were added. Every plug-in and removal posts the system's
// device-change broadcast (WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) to the process's windows.
//
// Thread rules: any thread may call the entry points and QueueInputReport; adding, plugging and
// unplugging may come from any thread too. Reset belongs to the GUI thread, with no reader
// thread running.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace virtualhid {

// Which openings the interface grants. ReadWrite: any access; QueryOnly: only access 0 (as the
// system does for keyboards and mice); None: every opening is refused.
enum class Access { ReadWrite, QueryOnly, None };

// What answers the feature reports.
//  Drawer      the cash drawer: 'W' writes memory (reply '+'), 'R' reads it (reply '='); a wrong
//              check byte gets 'E','C', an unknown command 'E','U'. Writing 0 to address 79
//              opens the drawer.
//  Silent      accepts every command and never answers: a GET returns the last command as it
//              came, so its byte 4 is the check byte just sent.
//  ErrorReply  answers every command with 'E','C'.
//  NoAck       answers correct commands with '-' instead of '+' and changes nothing.
//  WriteFails  every feature SET fails.
//  None        no feature reports at all: every GET and SET fails.
enum class Firmware { Drawer, Silent, ErrorReply, NoAck, WriteFails, None };

struct DeviceConfig {
  std::string name;                    // for messages and FindDevice (the scenario's section)
  std::optional<std::string> product;  // UTF-8; none: HidD_GetProductString fails
  std::uint16_t vendorId = 0x1234;
  std::uint16_t productId = 0x5678;
  std::uint16_t version = 0x0100;
  std::uint16_t usagePage = 0xFF00;  // vendor-defined
  std::uint16_t usage = 0x0001;
  std::uint16_t featureReportLength = 5;  // with the report ID byte, as HIDP_CAPS counts
  std::uint16_t inputReportLength = 5;    // 0: the interface has no input reports
  std::uint16_t outputReportLength = 0;
  Access access = Access::ReadWrite;
  bool identify = true;  // false: HidD_GetAttributes fails
  Firmware firmware = Firmware::Drawer;
  int replyAfterPolls = 0;  // the first N GETs after each command fail
  std::string openLog;      // file that gets a line "OPEN" per drawer opening; empty: none
};

// What a drawer that the programs recognise looks like.
DeviceConfig ReadyDrawer();

using DeviceId = int;
inline constexpr DeviceId kNoDevice = -1;

// ---- Devices -------------------------------------------------------------------------------

DeviceId AddDevice(const DeviceConfig& config, bool pluggedIn = true);
// Plugging in gives the interface a new device path and a new DevInst; both stay while it stays
// plugged in. False when the device was already in that state (nothing is posted then).
bool Plug(DeviceId device);
bool Unplug(DeviceId device);
bool IsPlugged(DeviceId device);
std::vector<DeviceId> Devices();
DeviceId FindDevice(const std::string& name);
const DeviceConfig* Config(DeviceId device);  // valid until Reset
std::string DevicePath(DeviceId device);      // empty while unplugged
DWORD DevInst(DeviceId device);               // 0 while unplugged

// Hands an input report (report ID first) to the interface: it completes the oldest pending read
// or waits in the interface's queue (up to 512 reports; the oldest is dropped beyond that). The
// report is cut or zero-padded to the input report length. False when the interface is unplugged
// or has no input reports.
bool QueueInputReport(DeviceId device, const std::vector<std::uint8_t>& report);

// ---- Observation ---------------------------------------------------------------------------

// Every feature SET that reached the firmware, refused ones included, as feature-length bytes.
std::vector<std::vector<std::uint8_t>> CommandsReceived(DeviceId device);
int DrawerOpens(DeviceId device);
int FeatureGets(DeviceId device);  // every GET that reached the firmware, failed ones included
std::uint8_t DrawerMemory(DeviceId device, std::uint8_t address);
int OpenHandles(DeviceId device);
int OpenHandles();  // all devices
struct HandleInfo {
  DWORD access;
  bool overlapped;
  bool connected;  // false once the plug it was opened on has ended
};
std::vector<HandleInfo> Handles(DeviceId device);
int PendingReads(DeviceId device);
int PreparsedDataAlive();
int DeviceInfoSetsAlive();

// ---- Fault injection -----------------------------------------------------------------------

// The next `count` calls of the entry point `entryPoint` ("HidD_GetFeature", "CreateFileA",
// "SetupDiGetClassDevsA", ...) fail with `error` before doing anything. False, and nothing armed,
// for the entry points that take no fault (HidD_GetHidGuid, SleepEx, GetLastError, SetLastError
// and the thread calls GetCurrentThreadId, OpenThread, QueueUserAPC) and for a name the services
// do not implement.
bool FailNextCalls(const std::string& entryPoint, int count, DWORD error);

enum class UnplugMoment {
  AfterNextAcceptedSet,  // the SET succeeds, then the interface is gone
  AfterNextGet,          // the GET is answered, then the interface is gone
};
// Unplugs the device in the middle of a command. False for an unknown device.
bool UnplugDuringCommand(DeviceId device, UnplugMoment moment);

// ---- Services ------------------------------------------------------------------------------

// Registers "HID.dll", "SetupApi.dll" and "kernel32.dll" with hid::RegisterLibrary. Every export
// the bindings name exists; the ones the HID layer does not use fail with
// ERROR_CALL_NOT_IMPLEMENTED.
void RegisterLibraries();
void UnregisterLibraries();
bool LibrariesRegistered();

// Back to the start: no devices, no handles, no faults, no scenario timers, counters at 0,
// libraries unregistered. Posts nothing.
void Reset();

}  // namespace virtualhid
