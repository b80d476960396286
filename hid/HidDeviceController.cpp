#include <functional>
#include <vector>

#include "hid/DBT.h"
#include "hid/Hid.h"
#include "hid/Kernel32.h"
#include "hid/SetupApi.h"
#include "hid/HidControllerClass.h"
#include "hid/InterfaceWalk.h"
#include "host/Messages.h"
#include "host/Trace.h"

namespace hid {
namespace {

// Sets a flag for the length of a scope, and clears it however the scope is left.
class FlagScope {
 public:
  template <class Set>
  explicit FlagScope(Set set) : clear_([set] { set(false); }) {
    set(true);
  }
  ~FlagScope() { clear_(); }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  std::function<void()> clear_;
};

}  // namespace

THidDeviceController::THidDeviceController(host::TComponent* owner) : host::TComponent(owner) {
  if (HidBound()) {
    if (auto getGuid = HidD_GetHidGuid()) getGuid(&interfaceGuid_);
    notifyWindow_ =
        host::HiddenWindow(host::WndMethod::Of<&THidDeviceController::NotifyWndProc>(this));
    // The first enumeration runs when the loop first dispatches this, not during construction.
    if (notifyWindow_.Handle() != nullptr) {
      host::PostMessageTo(notifyWindow_.Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, -1);
    }
  } else {
    interfaceGuid_ = kHidInterfaceClassGuid;
  }
}

THidDeviceController::~THidDeviceController() {
  onDeviceChange_ = nullptr;
  onDeviceUnplug_ = nullptr;
  SetOnEnumerate(nullptr);
  // The window goes with the controller that made it, whatever another controller did to the
  // shared HID binding meanwhile: left behind it would receive broadcasts for a freed object.
  notifyWindow_.Reset();
  // A copy: destroying a device that is not checked out must not change what we walk.
  std::vector<THidDevice*> devices = deviceList_;
  deviceList_.clear();
  for (THidDevice* device : devices) {
    device->SetController(nullptr);
    if (device->CheckedOut()) {
      // The application still holds it (its destruction skips the list), but nothing of it may
      // call into the libraries released below: its reader stops and its preparsed data goes
      // now, not when the application gets round to destroying it.
      device->StopReader();
      device->Unplug();
      device->ReleasePreparsedData();
    } else {
      delete device;
    }
  }
  // The bindings go last, with bindings_.
}

LRESULT THidDeviceController::NotifyWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED && !inDeviceChange_) {
    lastNotifyParam_ = static_cast<LONG>(lParam);
    // Cleared however DeviceChange ends: a handler that raised must not leave the
    // notifications dead (the loop's dispatch drops the exception itself).
    FlagScope guard([this](bool on) { inDeviceChange_ = on; });
    DeviceChange();
  }
  return host::DefaultWindowProc(wnd, msg, wParam, lParam);
}

void THidDeviceController::UnlistedDeviceDeleter::operator()(THidDevice* device) const {
  device->SetController(nullptr);
  delete device;
}

void THidDeviceController::FillDeviceList(std::vector<UnlistedDevice>& list) {
  if (!HidBound()) return;
  auto readProperty = SetupDiGetDeviceRegistryPropertyA();
  ForEachPresentInterface(
      interfaceGuid_, [&](HDEVINFO set, const std::string& path, SP_DEVINFO_DATA* devInfo) {
        auto pnpInfo = std::make_unique<THidPnPInfo>(set, path, devInfo, readProperty);
        try {
          UnlistedDevice device(new THidDevice(std::move(pnpInfo), this));
          list.push_back(std::move(device));
        } catch (...) {
          // "device cannot be opened" / "cannot be identified": left out, without a message.
          if (host::Tracing())
            host::TraceDroppedException("the enumeration (leaving out " + path + ")");
        }
      });
}

void THidDeviceController::DeviceChange() {
  bool changed = lastNotifyParam_ == -1;
  std::vector<UnlistedDevice> fresh;
  FillDeviceList(fresh);

  // Removal pass, last to first. Handlers may check devices in (which shrinks the list), so
  // each step finds its device again instead of trusting an index.
  for (int i = DeviceCount() - 1; i >= 0; --i) {
    if (i >= DeviceCount()) continue;
    THidDevice* device = deviceList_[static_cast<size_t>(i)];
    bool present = false;
    if (device->PluggedIn()) {
      for (int k = static_cast<int>(fresh.size()) - 1; k >= 0; --k) {
        if (fresh[static_cast<size_t>(k)]->PnPInfo()->DeviceID == device->PnPInfo()->DeviceID) {
          present = true;
          break;
        }
      }
    }
    if (present) continue;
    device->Unplug();
    AnnounceRemoval(device);
    changed = true;
    int at = IndexOf(device);
    if (at >= 0 && !device->CheckedOut()) {
      deviceList_.erase(deviceList_.begin() + at);
      delete device;
    }
  }

  // Duplicate pass: an interface already listed and plugged in keeps its object.
  for (UnlistedDevice& candidate : fresh) {
    for (THidDevice* listed : deviceList_) {
      if (listed->PluggedIn() && listed->PnPInfo()->DeviceID == candidate->PnPInfo()->DeviceID) {
        candidate.reset();
        break;
      }
    }
  }

  // Arrival pass, in enumeration order, after every removal. Each device is listed before its
  // announcement, so a handler that raises leaves nothing half-owned.
  for (UnlistedDevice& candidate : fresh) {
    if (candidate == nullptr) continue;
    deviceList_.push_back(candidate.get());
    THidDevice* device = candidate.release();
    changed = true;
    AnnounceArrival(device);
  }

  checkedInCount_ = 0;
  unpluggedCount_ = 0;
  int checkedOut = 0;
  for (THidDevice* device : deviceList_) {
    if (!device->CheckedOut()) ++checkedInCount_;
    if (!device->PluggedIn()) ++unpluggedCount_;
    if (device->CheckedOut()) ++checkedOut;
  }
  checkedOutCount_ = checkedOut - unpluggedCount_;

  if (changed) AnnounceChange();
}

void THidDeviceController::AnnounceArrival(THidDevice* device) {
  if (!onArrival_.IsSet()) return;
  FlagScope guard([device](bool on) { device->SetAnnouncing(on); });
  onArrival_(device);
}

void THidDeviceController::AnnounceRemoval(THidDevice* device) {
  if (!onRemoval_.IsSet()) return;
  FlagScope guard([device](bool on) { device->SetAnnouncing(on); });
  onRemoval_(device);
}

void THidDeviceController::AnnounceChange() {
  if (onDeviceChange_.IsSet()) onDeviceChange_(this);
}

int THidDeviceController::IndexOf(const THidDevice* device) const {
  for (size_t i = 0; i < deviceList_.size(); ++i) {
    if (deviceList_[i] == device) return static_cast<int>(i);
  }
  return -1;
}

bool THidDeviceController::TakeDevice(THidDevice*& device, int index) {
  THidDevice* candidate = deviceList_[static_cast<size_t>(index)];
  if (candidate->CheckedOut()) return false;
  device = candidate;
  candidate->SetCheckedOut(true);
  ++checkedOutCount_;
  --checkedInCount_;
  candidate->StartReader();
  return true;
}

bool THidDeviceController::CheckOutByIndex(THidDevice*& device, int index) {
  device = nullptr;
  if (index < 0 || index >= DeviceCount()) return false;
  return TakeDevice(device, index);
}

bool THidDeviceController::CheckOutFirst(THidDevice*& device) {
  device = nullptr;
  for (int i = 0; i < DeviceCount(); ++i) {
    if (TakeDevice(device, i)) return true;
  }
  return false;
}

void THidDeviceController::CheckIn(THidDevice* device, THidDataEvent onData,
                                   THidPlugEvent onUnplugged) {
  int at = IndexOf(device);
  if (at < 0) return;
  auto slot = deviceList_.begin() + at;
  if (!device->PluggedIn()) {
    deviceList_.erase(slot);
    --unpluggedCount_;
    return;
  }
  THidDevice* replacement = nullptr;
  try {
    // Built on a copy of the same record: the old object's goes with it.
    auto pnpInfo = std::make_unique<THidPnPInfo>(*device->PnPInfo());
    replacement = new THidDevice(std::move(pnpInfo), this);
  } catch (...) {
    // The interface went away since the last notification: the slot goes, and the next
    // notification will not find the interface either. The destroyed object is never kept.
    if (host::Tracing()) {
      host::TraceDroppedException("the check-in (unlisting " + device->PnPInfo()->DevicePath + ")");
    }
    deviceList_.erase(deviceList_.begin() + at);
    if (device->CheckedOut()) {
      --checkedOutCount_;
    } else {
      --checkedInCount_;
    }
    return;
  }
  replacement->SetOnData(onData);
  replacement->SetOnUnplugged(onUnplugged);
  replacement->SetSleepTime(device->SleepTime());
  deviceList_[static_cast<size_t>(at)] = replacement;
  if (device->CheckedOut()) {
    --checkedOutCount_;
    ++checkedInCount_;
  }
}

void THidDeviceController::SetOnDeviceChange(host::TNotifyEvent handler) {
  if (handler == onDeviceChange_) return;
  onDeviceChange_ = handler;
  if (!Loading()) DeviceChange();
}

void THidDeviceController::SetOnEnumerate(THidEnumerateEvent handler) {
  if (handler == onEnumerate_) return;
  onEnumerate_ = handler;
}

void THidDeviceController::SetOnDeviceData(THidDataEvent handler) {
  if (handler == onDeviceData_) return;
  for (THidDevice* device : std::vector<THidDevice*>(deviceList_)) {
    if (device->OnData() == onDeviceData_) device->SetOnData(handler);
  }
  onDeviceData_ = handler;
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent handler) {
  if (handler == onDeviceDataError_) return;
  for (THidDevice* device : deviceList_) {
    if (device->OnReadError() == onDeviceDataError_) device->SetOnReadError(handler);
  }
  onDeviceDataError_ = handler;
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent handler) {
  if (handler == onDeviceUnplug_) return;
  for (THidDevice* device : deviceList_) {
    if (device->OnUnplugged() == onDeviceUnplug_) device->SetOnUnplugged(handler);
  }
  onDeviceUnplug_ = handler;
}

void THidDeviceController::SetDevThreadSleepTime(int value) {
  if (value == devThreadSleepTime_) return;
  for (THidDevice* device : deviceList_) {
    if (device->SleepTime() == devThreadSleepTime_) device->SetSleepTime(value);
  }
  devThreadSleepTime_ = value;
}

}  // namespace hid
