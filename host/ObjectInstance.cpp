#include "host/ObjectInstance.h"

#include <array>
#include <utility>

namespace host {
namespace {

struct Instance {
  WndMethod method;
  bool used = false;
};

std::array<Instance, kObjectInstanceCount>& Instances() {
  static std::array<Instance, kObjectInstanceCount> instances;
  return instances;
}

template <std::size_t Index>
LRESULT CALLBACK InstanceProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // A copy: the method may free its own instance while it runs.
  const WndMethod method = Instances()[Index].method;
  return CallWindowMethod(method, wnd, msg, wParam, lParam);
}

template <std::size_t... Index>
constexpr std::array<WNDPROC, sizeof...(Index)> MakeProcs(std::index_sequence<Index...>) {
  return {&InstanceProc<Index>...};
}

constexpr std::array<WNDPROC, kObjectInstanceCount> kProcs =
    MakeProcs(std::make_index_sequence<kObjectInstanceCount>());

}  // namespace

WNDPROC MakeObjectInstance(WndMethod method) {
  if (!method.IsSet()) return nullptr;
  auto& instances = Instances();
  for (std::size_t i = 0; i < instances.size(); ++i) {
    if (!instances[i].used) {
      instances[i] = {method, true};
      return kProcs[i];
    }
  }
  return nullptr;
}

void FreeObjectInstance(WNDPROC instance) {
  if (instance == nullptr) return;
  auto& instances = Instances();
  for (std::size_t i = 0; i < instances.size(); ++i) {
    if (kProcs[i] == instance) {
      instances[i] = {};
      return;
    }
  }
}

}  // namespace host
