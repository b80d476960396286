// A window class this program registered, unregistered by its owner. Unregistering fails,
// harmlessly, while windows of the class still exist, so a class is held for the program's life.
#pragma once

#include <windows.h>

#include <utility>

namespace host {

class WindowClass {
 public:
  // Registers `wc`, whose class name must outlive the class (the names are literals). Ok() is
  // false when the system refused it.
  explicit WindowClass(const WNDCLASSEXW& wc)
      : name_(wc.lpszClassName), instance_(wc.hInstance), atom_(RegisterClassExW(&wc)) {}
  WindowClass(WindowClass&& other) noexcept
      : name_(other.name_), instance_(other.instance_), atom_(std::exchange(other.atom_, 0)) {}
  WindowClass& operator=(WindowClass&& other) noexcept {
    if (this != &other) {
      Unregister();
      name_ = other.name_;
      instance_ = other.instance_;
      atom_ = std::exchange(other.atom_, 0);
    }
    return *this;
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass() { Unregister(); }

  bool Ok() const { return atom_ != 0; }
  ATOM Atom() const { return atom_; }
  HINSTANCE Instance() const { return instance_; }

 private:
  void Unregister() {
    if (atom_ != 0) UnregisterClassW(name_, instance_);
    atom_ = 0;
  }

  const wchar_t* name_;
  HINSTANCE instance_;
  ATOM atom_;
};

}  // namespace host
