// The bindings of the setup, HID and kernel32 services that a user of the HID layer holds for as
// long as it lives: made in the order the layer needs them, released when it goes.
#pragma once

namespace hid {

class ServiceBindings {
 public:
  ServiceBindings();
  ~ServiceBindings();
  ServiceBindings(const ServiceBindings&) = delete;
  ServiceBindings& operator=(const ServiceBindings&) = delete;

 private:
  bool setupApi_ = false;
  bool kernel32_ = false;
};

}  // namespace hid
