// Owns one handle of the system's (an icon, a GDI object, a menu, a module) and releases it with
// its owner: move-only, null when empty. Release is a function object taking the handle.
#pragma once

#include <utility>

namespace host {

template <class Handle, class Release>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset() {
    if (handle_ != nullptr) Release{}(std::exchange(handle_, nullptr));
  }

 private:
  Handle handle_ = nullptr;
};

}  // namespace host
