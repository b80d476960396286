#include <algorithm>

#include "hid/HidControllerClass.h"

namespace hid {
namespace {

// The read's only effect worth having is that the alertable wait returns WAIT_IO_COMPLETION.
void WINAPI ReadCompletion(DWORD, DWORD, LPOVERLAPPED) {}

}  // namespace

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device)
    : host::TThread(true), device_(device) {
  HIDP_CAPS caps;
  device_.Caps(caps);
  report_.assign(caps.InputReportByteLength, 0);
}

void THidDeviceReadThread::Execute() {
  // A stop that came before the thread got here finds nothing to wake: the thread just ends.
  if (!device_.AttachReaderThread()) return;
  // Detached on every way out, an exception from a handler included.
  struct Detach {
    THidDevice& device;
    ~Detach() { device.DetachReaderThread(); }
  } detach{device_};

  const HidServices& services = device_.Services();
  const auto alertableWait = [&services, this] {
    return services.kernel32.SleepEx != nullptr
               ? services.kernel32.SleepEx(static_cast<DWORD>(device_.SleepTime()), TRUE)
               : WAIT_IO_COMPLETION;
  };
  // Whether the loop ended while a read it started may still be outstanding.
  bool readOutstanding = false;
  while (!Terminated()) {
    bool delivered = false;
    HIDP_CAPS caps;
    device_.Caps(caps);
    // Never past the buffer made at creation, whatever the capabilities say now.
    DWORD length = std::min<DWORD>(caps.InputReportByteLength, static_cast<DWORD>(report_.size()));
    std::fill(report_.begin(), report_.begin() + length, BYTE{0});
    device_.Caps(caps);
    length = std::min<DWORD>(caps.InputReportByteLength, static_cast<DWORD>(report_.size()));
    if (device_.BeginAsyncRead(report_.data(), length, &ReadCompletion)) {
      DWORD last = WAIT_IO_COMPLETION;
      do {
        last = alertableWait();
      } while (!Terminated() && last != WAIT_IO_COMPLETION);
      if (Terminated()) {
        readOutstanding = true;
        break;
      }
      bytesRead_ = device_.AsyncBytesRead();
      if (bytesRead_ > 0) {
        Synchronize(host::Event<void()>::Of<&THidDeviceReadThread::DeliverData>(this));
        delivered = true;
      }
    } else {
      // Refused because a stop is under way: that is no read error.
      if (Terminated()) break;
      errorCode_ = services.kernel32.GetLastError != nullptr ? services.kernel32.GetLastError() : 0;
      // A read refused before any system call (the device unplugged or checked in) leaves no
      // system error behind; say why rather than report success as the failure's cause.
      if (errorCode_ == ERROR_SUCCESS) {
        errorCode_ = device_.PluggedIn() ? ERROR_INVALID_HANDLE : ERROR_DEVICE_NOT_CONNECTED;
      }
      Synchronize(host::Event<void()>::Of<&THidDeviceReadThread::DeliverError>(this));
    }
    // A pass that brought nothing would meet the same cause straight away again (an interface
    // without input reports, one that refuses reads or has gone): trying at once would keep a
    // core busy for as long as the device stays selected. One slice of rest first; a stop ends it.
    if (!delivered && !Terminated()) alertableWait();
  }
  // Ended during a wait with the read possibly still outstanding: cancel it from the thread that
  // issued it, which is the only thread whose reads CancelIo reaches. Cancelling a read that has
  // just completed does nothing.
  if (readOutstanding) device_.CancelAsync(TAsyncDirection::Read);
}

void THidDeviceReadThread::DeliverData() {
  THidDataEvent handler = device_.OnData();
  if (!handler.IsSet() || report_.empty()) return;
  WORD size = static_cast<WORD>(static_cast<WORD>(bytesRead_ & 0xFFFF) - 1);
  handler(&device_, report_[0], report_.data() + 1, size);
}

void THidDeviceReadThread::DeliverError() {
  THidDataErrorEvent handler = device_.OnReadError();
  if (handler.IsSet()) handler(&device_, errorCode_);
}

}  // namespace hid
