// The program inside a virtual interface that answers feature reports. It knows nothing of
// handles or locking: the services call it under their lock, with buffers they have checked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/virtual/VirtualHid.h"

namespace virtualhid::detail {

class FirmwareModel {
 public:
  FirmwareModel(Firmware kind, int replyAfterPolls, std::string openLog, std::size_t featureLength);

  // A feature SET of at least the feature length. False (with the system error code) when the
  // firmware refuses it.
  bool Set(const std::uint8_t* report, DWORD& error);
  // A feature GET: fills the feature length. False (with the error code) when nothing is
  // answered.
  bool Get(std::uint8_t* report, DWORD& error);
  // A re-plug starts the firmware afresh; what it counted stays.
  void PowerCycle();

  const std::vector<std::vector<std::uint8_t>>& Commands() const { return commands_; }
  int Opens() const { return opens_; }
  int Gets() const { return gets_; }
  std::uint8_t Memory(std::uint8_t address) const { return memory_[address]; }

 private:
  void Execute(std::uint8_t command, std::uint8_t p1, std::uint8_t p2, std::uint8_t check);
  void Answer(std::uint8_t r1, std::uint8_t r2, std::uint8_t r3, std::uint8_t commandCheck);
  void OpenDrawer();

  Firmware kind_;
  int replyAfterPolls_;
  std::string openLog_;
  std::size_t featureLength_;

  std::array<std::uint8_t, 256> memory_{};
  std::vector<std::uint8_t> reply_;  // what the next GET returns
  int pollsToFail_ = 0;

  std::vector<std::vector<std::uint8_t>> commands_;
  int opens_ = 0;
  int gets_ = 0;
};

}  // namespace virtualhid::detail
