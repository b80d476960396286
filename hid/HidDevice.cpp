#include <cstring>
#include <string>
#include <utility>

#include "hid/HidControllerClass.h"
#include "hid/LibraryLoader.h"

namespace hid {

// ---- THidDevice ----

THidDevice::THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller)
    : THidDevice(std::move(pnpInfo), controller, BoundHidServices()) {}

THidDevice::THidDevice(std::unique_ptr<THidPnPInfo> pnpInfo, THidDeviceController* controller,
                       const HidServices& services)
    : controller_(controller), pnpInfo_(std::move(pnpInfo)), services_(services) {
  try {
    Construct();
  } catch (...) {
    // Not in any list yet: the half-built object goes away without a check-in.
    controller_ = nullptr;
    syncHandle_.Close();
    throw;
  }
}

void THidDevice::Construct() {
  if (controller_ != nullptr) {
    SetOnData(controller_->OnDeviceData());  // not checked out: no reader starts
    onUnplugged_ = controller_->OnDeviceUnplug();
  }
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    OpenSyncHandleLocked();
  }
  if (!syncHandle_.Valid()) throw EControllerError(kDeviceCannotBeOpened);
  attributes_ = HIDD_ATTRIBUTES{};
  attributes_.Size = sizeof(HIDD_ATTRIBUTES);
  if (services_.GetAttributes == nullptr ||
      !services_.GetAttributes(syncHandle_.Get(), &attributes_)) {
    throw EControllerError(kDeviceCannotBeIdentified);
  }
  CloseSyncHandle();
}

THidDevice::~THidDevice() {
  THidDataEvent onData = OnData();
  THidPlugEvent onUnplugged = onUnplugged_;
  SetOnData(nullptr);  // stops the reader before anything is closed
  onUnplugged_ = nullptr;
  CloseSyncHandle();
  CloseAsyncHandle(TAsyncDirection::Read);
  CloseAsyncHandle(TAsyncDirection::Write);
  ReleasePreparsedData();
  if (controller_ != nullptr) controller_->CheckIn(this, onData, onUnplugged);
}

bool THidDevice::GateOpen() const {
  return PluggedIn() && (CheckedOut() || Announcing());
}

namespace {

HANDLE OpenDevicePath(const Kernel32Calls& kernel32, const std::string& path, DWORD access,
                      DWORD flags) {
  if (kernel32.CreateFileA == nullptr) return INVALID_HANDLE_VALUE;
  return kernel32.CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
}

}  // namespace

DeviceHandle OpenReadWrite(const Kernel32Calls& kernel32, const std::string& path) {
  return DeviceHandle(OpenDevicePath(kernel32, path, GENERIC_READ | GENERIC_WRITE, 0),
                      kernel32.CloseHandle);
}

HANDLE THidDevice::OpenPath(DWORD access, DWORD flags) const {
  if (!pnpInfo_) return INVALID_HANDLE_VALUE;
  return OpenDevicePath(services_.kernel32, pnpInfo_->DevicePath, access, flags);
}

void THidDevice::OpenSyncHandleLocked() {
  DeviceHandle handle;
  if (pnpInfo_) handle = OpenReadWrite(services_.kernel32, pnpInfo_->DevicePath);
  const bool readWrite = handle.Valid();
  if (!readWrite) {
    // Query only: attributes, strings, capabilities.
    handle = DeviceHandle(OpenPath(0, 0), services_.kernel32.CloseHandle);
  }
  readWriteAccess_.store(readWrite);
  syncHandle_ = std::move(handle);
}

bool THidDevice::OpenSyncHandle() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (GateOpen() && !syncHandle_.Valid()) {
    OpenSyncHandleLocked();
    if (syncHandle_.Valid()) {
      if (numInputBuffers_ != 0 && services_.SetNumInputBuffers != nullptr) {
        services_.SetNumInputBuffers(syncHandle_.Get(), static_cast<ULONG>(numInputBuffers_));
      }
      ULONG count = 0;
      if (services_.GetNumInputBuffers != nullptr &&
          services_.GetNumInputBuffers(syncHandle_.Get(), &count)) {
        numInputBuffers_ = static_cast<int>(count);
      }
    }
  }
  return syncHandle_.Valid();
}

bool THidDevice::OpenAsyncHandle(TAsyncDirection direction) {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (!GateOpen()) return false;
  if (direction == TAsyncDirection::Read) {
    if (!asyncReadHandle_.Valid()) {
      asyncReadHandle_ = DeviceHandle(OpenPath(GENERIC_READ, FILE_FLAG_OVERLAPPED),
                                      services_.kernel32.CloseHandle);
      if (asyncReadHandle_.Valid()) {
        if (numOverlappedBuffers_ != 0 && services_.SetNumInputBuffers != nullptr) {
          services_.SetNumInputBuffers(asyncReadHandle_.Get(),
                                       static_cast<ULONG>(numOverlappedBuffers_));
        }
        ULONG count = 0;
        if (services_.GetNumInputBuffers != nullptr &&
            services_.GetNumInputBuffers(asyncReadHandle_.Get(), &count)) {
          numOverlappedBuffers_ = static_cast<int>(count);
        }
      }
    }
    return asyncReadHandle_.Valid();
  }
  if (!asyncWriteHandle_.Valid()) {
    asyncWriteHandle_ =
        DeviceHandle(OpenPath(GENERIC_WRITE, FILE_FLAG_OVERLAPPED), services_.kernel32.CloseHandle);
  }
  return asyncWriteHandle_.Valid();
}

void THidDevice::CloseSyncHandle() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  syncHandle_.Close();
  numInputBuffers_ = 0;
}

void THidDevice::CloseAsyncHandle(TAsyncDirection direction) {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (direction == TAsyncDirection::Read) {
    asyncReadHandle_.Close();
    numOverlappedBuffers_ = 0;
  } else {
    asyncWriteHandle_.Close();
  }
}

bool THidDevice::SyncHandleOpen() const {
  std::lock_guard<std::mutex> lock(handleMutex_);
  return syncHandle_.Valid();
}

bool THidDevice::AsyncHandleOpen(TAsyncDirection direction) const {
  std::lock_guard<std::mutex> lock(handleMutex_);
  return direction == TAsyncDirection::Read ? asyncReadHandle_.Valid() : asyncWriteHandle_.Valid();
}

int THidDevice::NumInputBuffers() const {
  std::lock_guard<std::mutex> lock(handleMutex_);
  return numInputBuffers_;
}

int THidDevice::NumOverlappedBuffers() const {
  std::lock_guard<std::mutex> lock(handleMutex_);
  return numOverlappedBuffers_;
}

void THidDevice::SetNumInputBuffers(int count) {
  if (count == NumInputBuffers() || !OpenSyncHandle()) return;
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (!syncHandle_.Valid()) return;
  if (services_.SetNumInputBuffers != nullptr) {
    services_.SetNumInputBuffers(syncHandle_.Get(), static_cast<ULONG>(count));
  }
  ULONG now = 0;
  if (services_.GetNumInputBuffers != nullptr &&
      services_.GetNumInputBuffers(syncHandle_.Get(), &now)) {
    numInputBuffers_ = static_cast<int>(now);
  }
}

void THidDevice::SetNumOverlappedBuffers(int count) {
  if (count == NumOverlappedBuffers() || !OpenAsyncHandle(TAsyncDirection::Read)) return;
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (!asyncReadHandle_.Valid()) return;
  if (services_.SetNumInputBuffers != nullptr) {
    services_.SetNumInputBuffers(asyncReadHandle_.Get(), static_cast<ULONG>(count));
  }
  ULONG now = 0;
  if (services_.GetNumInputBuffers != nullptr &&
      services_.GetNumInputBuffers(asyncReadHandle_.Get(), &now)) {
    numOverlappedBuffers_ = static_cast<int>(now);
  }
}

void THidDevice::SetSleepTime(int milliseconds) {
  if (milliseconds >= 10 && milliseconds <= 10000) sleepTime_.store(milliseconds);
}

PHIDP_PREPARSED_DATA THidDevice::PreparsedData() {
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (preparsedData_ != nullptr) return preparsedData_;
  }
  if (!OpenSyncHandle()) return nullptr;
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (preparsedData_ == nullptr && syncHandle_.Valid() && services_.GetPreparsedData != nullptr) {
      PHIDP_PREPARSED_DATA data = nullptr;
      if (services_.GetPreparsedData(syncHandle_.Get(), &data)) preparsedData_ = data;
    }
  }
  CloseSyncHandle();
  std::lock_guard<std::mutex> lock(handleMutex_);
  return preparsedData_;
}

void THidDevice::Caps(HIDP_CAPS& caps) {
  std::memset(&caps, 0, sizeof(caps));
  PHIDP_PREPARSED_DATA data = PreparsedData();
  // With no preparsed data there is nothing to ask: the record stays all zero.
  if (data != nullptr && services_.GetCaps != nullptr) services_.GetCaps(data, &caps);
}

std::u16string THidDevice::ProductName() {
  if (productName_.empty() && OpenSyncHandle()) {
    char16_t buffer[254] = {};
    bool ok = false;
    {
      std::lock_guard<std::mutex> lock(handleMutex_);
      if (syncHandle_.Valid() && services_.GetProductString != nullptr) {
        ok = services_.GetProductString(syncHandle_.Get(), buffer, sizeof(buffer)) != 0;
      }
    }
    if (ok) {
      size_t n = 0;
      while (n < 254 && buffer[n] != 0) ++n;
      productName_.assign(buffer, n);
    }
    CloseSyncHandle();
  }
  return productName_;
}

bool THidDevice::ReadReport(void* buffer, DWORD length) {
  if (!OpenSyncHandle()) return false;
  std::lock_guard<std::mutex> lock(handleMutex_);
  return syncHandle_.Valid() && services_.GetFeature != nullptr &&
         services_.GetFeature(syncHandle_.Get(), buffer, length) != 0;
}

bool THidDevice::WriteReport(void* buffer, DWORD length) {
  if (!OpenSyncHandle()) return false;
  std::lock_guard<std::mutex> lock(handleMutex_);
  return syncHandle_.Valid() && services_.SetFeature != nullptr &&
         services_.SetFeature(syncHandle_.Get(), buffer, length) != 0;
}

bool THidDevice::BeginAsyncRead(void* buffer, DWORD count,
                                LPOVERLAPPED_COMPLETION_ROUTINE completion) {
  if (!OpenAsyncHandle(TAsyncDirection::Read)) return false;
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (readsHalted_ || !asyncReadHandle_.Valid() || services_.kernel32.ReadFileEx == nullptr) {
    return false;
  }
  readOverlapped_ = OVERLAPPED{};
  readOverlapped_.hEvent = this;  // the completion routine's way back to the device
  return services_.kernel32.ReadFileEx(asyncReadHandle_.Get(), buffer, count, &readOverlapped_,
                                       completion) != 0;
}

DWORD THidDevice::AsyncBytesRead() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  DWORD n = 0;
  if (asyncReadHandle_.Valid() && services_.kernel32.GetOverlappedResult != nullptr &&
      services_.kernel32.GetOverlappedResult(asyncReadHandle_.Get(), &readOverlapped_, &n, FALSE)) {
    return n;
  }
  return 0;
}

bool THidDevice::CancelAsync(TAsyncDirection direction) {
  std::lock_guard<std::mutex> lock(handleMutex_);
  const DeviceHandle& handle =
      direction == TAsyncDirection::Read ? asyncReadHandle_ : asyncWriteHandle_;
  if (!handle.Valid()) return false;
  const LibraryHandle kernel32(kKernel32LibraryName);
  auto cancelIo = FunctionCast<PFN_CancelIo>(FindSymbol(kernel32.Get(), "CancelIo"));
  return cancelIo != nullptr && cancelIo(handle.Get()) != 0;
}

THidDataEvent THidDevice::OnData() const {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  return onData_;
}

void THidDevice::SetOnData(THidDataEvent handler) {
  if (!handler.IsSet()) StopReader();
  {
    std::lock_guard<std::mutex> lock(handlerMutex_);
    onData_ = handler;
  }
  StartReader();
}

THidDataErrorEvent THidDevice::OnReadError() const {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  return onReadError_;
}

void THidDevice::SetOnReadError(THidDataErrorEvent handler) {
  std::lock_guard<std::mutex> lock(handlerMutex_);
  onReadError_ = handler;
}

namespace {

// Queued to the reader thread by a stop: running it is what ends the reader's alertable wait.
void WINAPI WakeReader(ULONG_PTR) {}

}  // namespace

void THidDevice::StartReader() {
  if (!OnData().IsSet() || !PluggedIn() || !CheckedOut() || !ReadWriteAccess() || reader_) return;
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    readsHalted_ = false;
  }
  reader_ = std::make_unique<THidDeviceReadThread>(*this);
  reader_->FreeOnTerminate = false;
  reader_->Resume();
}

void THidDevice::StopReader() {
  if (!reader_) return;
  reader_->Terminate();
  // The reader notices the request only when its alertable wait ends. Ending its outstanding read
  // ends that wait now, and when it waits with no read outstanding (between failed reads) the
  // queued wake does; a read it was about to start is refused. Either way the stop does not wait
  // out a SleepTime slice: the scan over the device list stops a reader at every step.
  {
    std::lock_guard<std::mutex> lock(handleMutex_);
    readsHalted_ = true;
    if (asyncReadHandle_.Valid() && services_.kernel32.CancelIoEx != nullptr) {
      services_.kernel32.CancelIoEx(asyncReadHandle_.Get(), &readOverlapped_);
    }
    if (readerWake_.Valid()) services_.kernel32.QueueUserAPC(&WakeReader, readerWake_.Get(), 0);
  }
  reader_->WaitFor();
  reader_.reset();
}

bool THidDevice::AttachReaderThread() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (readsHalted_) return false;
  const Kernel32Calls& k = services_.kernel32;
  if (k.CanWakeThreads()) {
    readerWake_ = DeviceHandle(k.OpenThread(THREAD_SET_CONTEXT, FALSE, k.GetCurrentThreadId()),
                               k.CloseHandle);
  }
  return true;
}

void THidDevice::DetachReaderThread() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  readerWake_.Close();
}

void THidDevice::ReleasePreparsedData() {
  std::lock_guard<std::mutex> lock(handleMutex_);
  if (preparsedData_ != nullptr && services_.FreePreparsedData != nullptr) {
    services_.FreePreparsedData(preparsedData_);
  }
  preparsedData_ = nullptr;
}

void THidDevice::Unplug() {
  // First, so the reader cannot open a handle again between the closes below.
  pluggedIn_.store(false);
  CloseSyncHandle();
  CloseAsyncHandle(TAsyncDirection::Read);
  CloseAsyncHandle(TAsyncDirection::Write);
  THidPlugEvent handler = onUnplugged_;
  if (handler.IsSet()) handler(this);
  onUnplugged_ = nullptr;  // fires at most once
}

}  // namespace hid
