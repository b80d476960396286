// The HID device controller, the device objects it hands out, their PnP records and the input
// report reader thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/HidServices.h"
#include "hid/ServiceBindings.h"
#include "hid/ServiceHandle.h"
#include "hid/WinTypes.h"
#include "host/Component.h"
#include "host/Event.h"
#include "host/Exception.h"
#include "host/Messages.h"
#include "host/Thread.h"

namespace hid {

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;

using THidPlugEvent = host::Event<void(THidDevice* HidDev)>;
using THidDataEvent =
    host::Event<void(THidDevice* HidDev, BYTE ReportID, const void* Data, WORD Size)>;
using THidDataErrorEvent = host::Event<void(THidDevice* HidDev, DWORD Error)>;
using THidEnumerateEvent = host::Event<bool(THidDevice* HidDev, int Idx)>;

// Raised only by device construction.
class EControllerError : public host::Exception {
 public:
  using host::Exception::Exception;
};
inline constexpr const char* kDeviceCannotBeOpened = "device cannot be opened";
inline constexpr const char* kDeviceCannotBeIdentified = "device cannot be identified";

// The registry record of one enumerated interface.
class THidPnPInfo {
 public:
  // Reads every property through the given reader; a missing property reads as 0 or empty.
  THidPnPInfo(HDEVINFO set, std::string devicePath, SP_DEVINFO_DATA* devInfo,
              PFN_SetupDiGetDeviceRegistryPropertyA readProperty);
  // A record with only an identity and a path (tests, and services without a registry).
  THidPnPInfo(DWORD deviceId, std::string devicePath);

  DWORD DeviceID = 0;
  std::string DevicePath;
  DWORD Capabilities = 0;
  std::string DeviceClass;
  std::string ClassGuid;
  std::vector<std::string> CompatibleIds;
  DWORD ConfigFlags = 0;
  std::string DeviceDesc;
  std::string Driver;
  std::string FriendlyName;
  std::vector<std::string> HardwareId;
  std::vector<std::string> LowerFilters;
  std::string Mfg;
  std::vector<std::string> UpperFilters;
  std::string Address;
  DWORD BusNumber = 0;
  std::string BusTypeGuid;
  std::string Characteristics;
  DWORD DevType = 0;
  std::string EnumeratorName;
  DWORD Exclusive = 0;
  DWORD LegacyBusType = 0;
  std::string LocationInformation;
  std::string PhysicalDeviceObjectName;
  std::string SecuritySds;
  std::string Service;
  DWORD UiNumber = 0;
  std::string UiNumberFormat;
};

// The open every device tries first; where it is refused, the device settles for a query-only
// handle. Invalid when refused, the system's last error then telling why.
DeviceHandle OpenReadWrite(const Kernel32Calls& kernel32, const std::string& path);

enum class TAsyncDirection { Read = 0, Write = 1 };

class THidDevice : public host::TObject {
 public:
  // Takes ownership of pnpInfo (also when construction fails) and raises EControllerError when
  // the interface cannot be opened or identified. The services are those bound now, unless given.
  THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller);
  THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller,
             const HidServices& services);
  // For a checked-out device this is the check-in.
  ~THidDevice() override;

  THidDeviceController* Controller() const { return controller_; }
  void SetController(THidDeviceController* controller) { controller_ = controller; }
  bool PluggedIn() const { return pluggedIn_.load(); }
  bool CheckedOut() const { return checkedOut_.load(); }
  void SetCheckedOut(bool value) { checkedOut_.store(value); }
  bool Announcing() const { return announcing_.load(); }
  void SetAnnouncing(bool value) { announcing_.store(value); }
  bool ReadWriteAccess() const { return readWriteAccess_.load(); }
  const HIDD_ATTRIBUTES& Attributes() const { return attributes_; }
  const THidPnPInfo* PnPInfo() const { return pnpInfo_.get(); }
  const THidDeviceReadThread* Reader() const { return reader_.get(); }

  std::u16string ProductName();
  PHIDP_PREPARSED_DATA PreparsedData();
  void Caps(HIDP_CAPS& caps);
  bool ReadReport(void* buffer, DWORD length);
  bool WriteReport(void* buffer, DWORD length);

  int NumInputBuffers() const;
  void SetNumInputBuffers(int count);
  int NumOverlappedBuffers() const;
  void SetNumOverlappedBuffers(int count);
  int SleepTime() const { return sleepTime_.load(); }
  void SetSleepTime(int milliseconds);

  THidDataEvent OnData() const;
  void SetOnData(THidDataEvent handler);
  THidDataErrorEvent OnReadError() const;
  void SetOnReadError(THidDataErrorEvent handler);
  THidPlugEvent OnUnplugged() const { return onUnplugged_; }
  void SetOnUnplugged(THidPlugEvent handler) { onUnplugged_ = handler; }

  bool OpenSyncHandle();
  bool OpenAsyncHandle(TAsyncDirection direction);
  void CloseSyncHandle();
  void CloseAsyncHandle(TAsyncDirection direction);
  bool SyncHandleOpen() const;
  bool AsyncHandleOpen(TAsyncDirection direction) const;

  bool BeginAsyncRead(void* buffer, DWORD count, LPOVERLAPPED_COMPLETION_ROUTINE completion);
  DWORD AsyncBytesRead();
  bool CancelAsync(TAsyncDirection direction);

  void StartReader();
  void StopReader();
  void Unplug();
  // Frees the cached preparsed data through the services that made it.
  void ReleasePreparsedData();

  // Run by the reader on its own thread when it starts and when it ends: makes (and closes) the
  // handle through which a stop wakes it. False when a stop is already under way.
  bool AttachReaderThread();
  void DetachReaderThread();

  // The services this device calls (the reader sleeps through them).
  const HidServices& Services() const { return services_; }

 private:
  void Construct();
  bool GateOpen() const;
  // Both open the handle with the lock held.
  HANDLE OpenPath(DWORD access, DWORD flags) const;
  void OpenSyncHandleLocked();

  THidDeviceController* controller_;
  std::unique_ptr<THidPnPInfo> pnpInfo_;
  HidServices services_;

  std::atomic<bool> pluggedIn_{true};
  std::atomic<bool> checkedOut_{false};
  std::atomic<bool> announcing_{false};
  std::atomic<bool> readWriteAccess_{false};

  // The reader thread opens, uses and cancels the asynchronous read handle while the GUI thread
  // may close every handle (Unplug); the handles, their buffer counts and the preparsed data are
  // kept consistent under this lock. It is never held across a wait.
  mutable std::mutex handleMutex_;
  DeviceHandle syncHandle_;
  DeviceHandle asyncReadHandle_;
  DeviceHandle asyncWriteHandle_;
  int numInputBuffers_ = 0;
  int numOverlappedBuffers_ = 0;
  PHIDP_PREPARSED_DATA preparsedData_ = nullptr;

  // Set by a stop, under this lock, before the stop cancels the outstanding read and wakes the
  // reader: a read the reader was about to start is then refused instead of waited out.
  bool readsHalted_ = false;
  DeviceHandle readerWake_;  // the reader thread's own handle, while it runs

  OVERLAPPED readOverlapped_{};  // belongs to the reader thread
  HIDD_ATTRIBUTES attributes_{};
  std::u16string productName_;
  std::atomic<int> sleepTime_{100};

  // Handlers are read by the reader thread when it delivers; only the GUI thread writes them.
  mutable std::mutex handlerMutex_;
  THidDataEvent onData_;
  THidDataErrorEvent onReadError_;
  THidPlugEvent onUnplugged_;
  std::unique_ptr<THidDeviceReadThread> reader_;
};

// Keeps one overlapped read outstanding and hands every input report to the GUI thread.
class THidDeviceReadThread : public host::TThread {
 public:
  explicit THidDeviceReadThread(THidDevice& device);

  DWORD ErrorCode() const { return errorCode_; }

 protected:
  void Execute() override;

 private:
  void DeliverData();
  void DeliverError();

  DWORD errorCode_ = 0;
  THidDevice& device_;
  DWORD bytesRead_ = 0;
  std::vector<BYTE> report_;
};

class THidDeviceController : public host::TComponent {
 public:
  explicit THidDeviceController(host::TComponent* owner);
  ~THidDeviceController() override;

  bool CheckOutFirst(THidDevice*& device);
  bool CheckOutByIndex(THidDevice*& device, int index);
  void DeviceChange();

  const GUID& InterfaceGuid() const { return interfaceGuid_; }
  HWND NotifyWindow() const { return notifyWindow_.Handle(); }
  int DeviceCount() const { return static_cast<int>(deviceList_.size()); }
  THidDevice* Device(int index) const { return deviceList_.at(static_cast<size_t>(index)); }
  int CheckedInCount() const { return checkedInCount_; }
  int CheckedOutCount() const { return checkedOutCount_; }
  int UnpluggedCount() const { return unpluggedCount_; }
  bool InDeviceChange() const { return inDeviceChange_; }
  LONG LastNotifyParam() const { return lastNotifyParam_; }

  int DevThreadSleepTime() const { return devThreadSleepTime_; }
  void SetDevThreadSleepTime(int value);
  std::string Version() const { return "1.0.34"; }

  void SetOnArrival(THidPlugEvent handler) { onArrival_ = handler; }
  void SetOnDeviceChange(host::TNotifyEvent handler);
  void SetOnEnumerate(THidEnumerateEvent handler);
  THidDataEvent OnDeviceData() const { return onDeviceData_; }
  void SetOnDeviceData(THidDataEvent handler);
  void SetOnDeviceDataError(THidDataErrorEvent handler);
  THidPlugEvent OnDeviceUnplug() const { return onDeviceUnplug_; }
  void SetOnDeviceUnplug(THidPlugEvent handler);
  void SetOnRemoval(THidPlugEvent handler) { onRemoval_ = handler; }

  // Run by a device's destruction (the check-in). Never raises.
  void CheckIn(THidDevice* device, THidDataEvent onData, THidPlugEvent onUnplugged);

 private:
  // A device enumerated but not listed yet. Should the notification end early (a handler
  // raised), it goes without a check-in: this controller never listed it.
  struct UnlistedDeviceDeleter {
    void operator()(THidDevice* device) const;
  };
  using UnlistedDevice = std::unique_ptr<THidDevice, UnlistedDeviceDeleter>;

  LRESULT NotifyWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void FillDeviceList(std::vector<UnlistedDevice>& list);
  bool TakeDevice(THidDevice*& device, int index);
  void AnnounceArrival(THidDevice* device);
  void AnnounceRemoval(THidDevice* device);
  void AnnounceChange();
  int IndexOf(const THidDevice* device) const;

  // First, so that the services are bound before anything else is made and released only after
  // everything else has gone.
  ServiceBindings bindings_;
  GUID interfaceGuid_ = kHidInterfaceClassGuid;
  THidPlugEvent onArrival_;
  host::TNotifyEvent onDeviceChange_;
  THidEnumerateEvent onEnumerate_;
  THidDataEvent onDeviceData_;
  THidDataErrorEvent onDeviceDataError_;
  THidPlugEvent onDeviceUnplug_;
  THidPlugEvent onRemoval_;
  int devThreadSleepTime_ = 100;
  std::vector<THidDevice*> deviceList_;
  int checkedInCount_ = 0;
  int checkedOutCount_ = 0;
  int unpluggedCount_ = 0;
  bool inDeviceChange_ = false;
  LONG lastNotifyParam_ = 0;
  host::HiddenWindow notifyWindow_;  // made only where HID was bound; last, as its method reads all
};

}  // namespace hid
