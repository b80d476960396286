#include "host/posix/ErrnoErrors.h"

#include <cerrno>

namespace host {

DWORD ErrorOfErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    // A hidraw node whose device has gone answers ENODEV to ioctls and EIO to reads; opening a
    // node without a device gives ENXIO; a USB device going away mid-transfer gives ESHUTDOWN.
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
      return ERROR_DEVICE_NOT_CONNECTED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
    case EFAULT:
    case ENAMETOOLONG:
    case EOVERFLOW:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
    case ENOBUFS:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EBUSY:
      return kErrorBusy;
    case ETIMEDOUT:
      return kErrorSemTimeout;
    case ENOTTY:
    case EOPNOTSUPP:
    case ENOSYS:
      return ERROR_NOT_SUPPORTED;
    default:
      // EIO, EPIPE (the device stalled the request), EPROTO, ...: the device did not do it.
      return ERROR_GEN_FAILURE;
  }
}

const char* TextOfError(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case ERROR_FILE_NOT_FOUND:
      return "The system cannot find the file specified.";
    case ERROR_DEVICE_NOT_CONNECTED:
      return "The device is not connected.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough memory resources are available to process this command.";
    case kErrorTooManyOpenFiles:
      return "The system cannot open the file.";
    case kErrorBusy:
      return "The requested resource is in use.";
    case kErrorSemTimeout:
      return "The semaphore timeout period has expired.";
    case ERROR_NOT_SUPPORTED:
      return "The request is not supported.";
    case ERROR_GEN_FAILURE:
      return "A device attached to the system is not functioning.";
    default:
      return "Unknown error.";
  }
}

}  // namespace host
