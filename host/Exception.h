// The exception classes of the host; the system raises exceptions only where its design says so.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace host {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A failed file operation (text files, ini files written back).
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int errorCode)
      : Exception(message), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A failed call of the operating system, with the system's error code.
class EOSError : public Exception {
 public:
  EOSError(const std::string& message, std::uint32_t errorCode)
      : Exception(message), ErrorCode(errorCode) {}
  std::uint32_t ErrorCode;
};

}  // namespace host
