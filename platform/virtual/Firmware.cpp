#include "platform/virtual/Firmware.h"

#include <algorithm>

#include "host/SafeFiles.h"
#include "host/SysUtils.h"

namespace virtualhid::detail {
namespace {

constexpr std::uint8_t kWrite = 'W';
constexpr std::uint8_t kRead = 'R';
constexpr std::uint8_t kAck = '+';
constexpr std::uint8_t kValue = '=';
constexpr std::uint8_t kNoAck = '-';
constexpr std::uint8_t kError = 'E';
constexpr std::uint8_t kBadCheck = 'C';
constexpr std::uint8_t kUnknownCommand = 'U';

constexpr std::uint8_t kOpenAddress = 79;
constexpr std::uint8_t kOpenValue = 0;

// A device that stalls a request makes the system report this.
constexpr DWORD kStalled = ERROR_GEN_FAILURE;

}  // namespace

FirmwareModel::FirmwareModel(Firmware kind, int replyAfterPolls, std::string openLog,
                             std::size_t featureLength)
    : kind_(kind),
      replyAfterPolls_(std::max(replyAfterPolls, 0)),
      openLog_(std::move(openLog)),
      featureLength_(featureLength),
      reply_(featureLength, 0) {}

bool FirmwareModel::Set(const std::uint8_t* report, DWORD& error) {
  commands_.emplace_back(report, report + featureLength_);
  if (kind_ == Firmware::None || kind_ == Firmware::WriteFails) {
    error = kStalled;
    return false;
  }
  // The protocol's five bytes; a shorter report reads as zeros beyond its end.
  std::array<std::uint8_t, 5> c{};
  std::copy_n(report, std::min<std::size_t>(featureLength_, c.size()), c.begin());
  pollsToFail_ = replyAfterPolls_;
  if (kind_ == Firmware::Silent) {
    std::copy(report, report + featureLength_, reply_.begin());
    reply_[0] = 0;
    return true;
  }
  Execute(c[1], c[2], c[3], c[4]);
  return true;
}

void FirmwareModel::Execute(std::uint8_t command, std::uint8_t p1, std::uint8_t p2,
                            std::uint8_t check) {
  if (kind_ == Firmware::ErrorReply || (command ^ p1 ^ p2) != check) {
    Answer(kError, kBadCheck, 0, check);
    return;
  }
  if (kind_ == Firmware::NoAck) {
    Answer(kNoAck, p1, p2, check);
    return;
  }
  switch (command) {
    case kWrite:
      memory_[p1] = p2;
      Answer(kAck, p1, p2, check);
      if (p1 == kOpenAddress && p2 == kOpenValue) OpenDrawer();
      break;
    case kRead:
      Answer(kValue, p1, memory_[p1], check);
      break;
    default:
      Answer(kError, kUnknownCommand, command, check);
      break;
  }
}

void FirmwareModel::Answer(std::uint8_t r1, std::uint8_t r2, std::uint8_t r3,
                           std::uint8_t commandCheck) {
  std::fill(reply_.begin(), reply_.end(), 0);
  std::uint8_t r4 = r1 ^ r2 ^ r3;
  // The host tells an answer from its own command still standing in the report by byte 4, so
  // an answer must never carry the command's check byte there.
  if (r4 == commandCheck) r4 = static_cast<std::uint8_t>(~r4);
  const std::array<std::uint8_t, 5> reply{0, r1, r2, r3, r4};
  std::copy_n(reply.begin(), std::min(reply_.size(), reply.size()), reply_.begin());
}

void FirmwareModel::OpenDrawer() {
  ++opens_;
  if (openLog_.empty()) return;
  // Several accounts may share a log, but none may turn it into a link, a pipe or a device that
  // the program then writes to. CR LF, like the programs' own result file, so one reader serves
  // both; one write per line, so that programs logging at once do not mix their lines.
  host::AppendingFile log;
  if (!log.Open(host::FsPath(openLog_), host::AppendingFile::Owner::kAnyone))
    log.Append("OPEN\r\n");
}

bool FirmwareModel::Get(std::uint8_t* report, DWORD& error) {
  ++gets_;
  if (kind_ == Firmware::None) {
    error = kStalled;
    return false;
  }
  if (pollsToFail_ > 0) {
    --pollsToFail_;
    error = kStalled;
    return false;
  }
  std::copy(reply_.begin(), reply_.end(), report);
  return true;
}

void FirmwareModel::PowerCycle() {
  memory_.fill(0);
  std::fill(reply_.begin(), reply_.end(), 0);
  pollsToFail_ = 0;
}

}  // namespace virtualhid::detail
