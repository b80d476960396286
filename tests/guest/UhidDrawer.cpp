// uhid-drawer: a cash drawer interface made by the kernel's uhid driver, for the guest test of the
// hidraw services. The kernel turns it into a HID device with a hidraw node like any USB device's;
// its feature reports are answered by the same firmware model the virtual services use, so both
// behave alike by construction.
//
//   uhid-drawer [--firmware Drawer|Silent|ErrorReply|NoAck|WriteFails|None]
//               [--feature-length N] [--product TEXT] [--create-after-ms N]
//               [--open-log FILE] [--command-log FILE] [--node-file FILE]
//
// It creates the device (after the given delay), writes the device node's path into the node
// file once the node exists, and runs until SIGTERM or SIGINT, which unplug the device. Each
// feature report the host sets is appended to the command log as hex; each opening goes to the
// open log as the firmware writes it ("OPEN" and CR LF).
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/UniqueFd.h"
#include "platform/virtual/Firmware.h"

namespace {

using virtualhid::Firmware;
using virtualhid::detail::FirmwareModel;

struct Options {
  Firmware firmware = Firmware::Drawer;
  std::size_t featureLength = 5;  // with the report ID byte, as Windows counts it
  std::string product = "QV USB Cash Drawer";
  int createAfterMs = 0;
  std::string openLog;
  std::string commandLog;
  std::string nodeFile;
};

constexpr int kUsage = 2;

std::optional<Options> Parse(int argc, char** argv) {
  static const std::map<std::string, Firmware> kFirmware = {
      {"Drawer", Firmware::Drawer},         {"Silent", Firmware::Silent},
      {"ErrorReply", Firmware::ErrorReply}, {"NoAck", Firmware::NoAck},
      {"WriteFails", Firmware::WriteFails}, {"None", Firmware::None}};
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--firmware" && kFirmware.count(value) != 0) {
      o.firmware = kFirmware.at(value);
    } else if (name == "--feature-length") {
      o.featureLength = std::stoul(value);
    } else if (name == "--product") {
      o.product = value;
    } else if (name == "--create-after-ms") {
      o.createAfterMs = std::stoi(value);
    } else if (name == "--open-log") {
      o.openLog = value;
    } else if (name == "--command-log") {
      o.commandLog = value;
    } else if (name == "--node-file") {
      o.nodeFile = value;
    } else {
      return std::nullopt;
    }
  }
  // A report ID byte and at least the protocol's four bytes; uhid's buffers bound the rest.
  if (argc % 2 == 0 || o.featureLength < 5 || o.featureLength > 64) return std::nullopt;
  return o;
}

// Vendor-defined, one unnumbered 4-byte input report and one feature report of
// featureLength - 1 bytes: the kernel passes its report-number byte 0 in front of both.
std::vector<std::uint8_t> Descriptor(std::size_t featureLength) {
  const auto featureBytes = static_cast<std::uint8_t>(featureLength - 1);
  return {0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1,         0x01, 0x09, 0x01,
          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,         0x08, 0x95, 0x04,
          0x81, 0x02, 0x09, 0x02, 0x95, featureBytes, 0xB1, 0x02, 0xC0};
}

bool Send(int fd, const uhid_event& event) {
  return ::write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool Create(int fd, const Options& o, const std::string& uniq) {
  uhid_event event{};
  event.type = UHID_CREATE2;
  uhid_create2_req& c = event.u.create2;
  std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s", o.product.c_str());
  std::snprintf(reinterpret_cast<char*>(c.phys), sizeof c.phys, "uhid-drawer");
  std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "%s", uniq.c_str());
  const std::vector<std::uint8_t> descriptor = Descriptor(o.featureLength);
  std::copy(descriptor.begin(), descriptor.end(), c.rd_data);
  c.rd_size = static_cast<__u16>(descriptor.size());
  c.bus = 0x03;  // USB, as the real interface
  c.vendor = 0x0483;
  c.product = 0x5750;
  c.version = 0x0201;
  return Send(fd, event);
}

// The hidraw node the kernel made for the device with this unique name, or "" while there is
// none yet.
std::string FindNode(const std::string& uniq) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", ec)) {
    std::ifstream uevent(entry.path() / "device" / "uevent");
    for (std::string line; std::getline(uevent, line);) {
      if (line == "HID_UNIQ=" + uniq) return "/dev/" + entry.path().filename().string();
    }
  }
  return "";
}

void WriteNodeFile(const std::string& file, const std::string& node) {
  // Whole or not at all: the guest's script polls for it.
  const std::string partial = file + ".partial";
  std::ofstream(partial) << node << '\n';
  std::filesystem::rename(partial, file);
}

void LogCommand(const std::string& file, const std::uint8_t* data, std::size_t size) {
  if (file.empty()) return;
  std::ofstream log(file, std::ios::app);
  char hex[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", data[i]);
    log << hex;
  }
  log << '\n';
}

class Drawer {
 public:
  Drawer(int uhid, const Options& o)
      : uhid_(uhid), o_(o), firmware_(o.firmware, 0, o.openLog, o.featureLength) {}

  void Handle(const uhid_event& event) {
    if (event.type == UHID_GET_REPORT) {
      Answer(event.u.get_report);
    } else if (event.type == UHID_SET_REPORT) {
      Take(event.u.set_report);
    }
    // START, STOP, OPEN, CLOSE and OUTPUT need nothing of a drawer.
  }

 private:
  void Answer(const uhid_get_report_req& request) {
    uhid_event reply{};
    reply.type = UHID_GET_REPORT_REPLY;
    reply.u.get_report_reply.id = request.id;
    DWORD error = 0;
    // The reply starts with the report number, as the kernel hands it on to hidraw unchanged.
    if (request.rtype == UHID_FEATURE_REPORT && request.rnum == 0 &&
        firmware_.Get(reply.u.get_report_reply.data, error)) {
      reply.u.get_report_reply.size = static_cast<__u16>(o_.featureLength);
    } else {
      reply.u.get_report_reply.err = EIO;
    }
    Send(uhid_, reply);
  }

  void Take(const uhid_set_report_req& request) {
    LogCommand(o_.commandLog, request.data, request.size);
    uhid_event reply{};
    reply.type = UHID_SET_REPORT_REPLY;
    reply.u.set_report_reply.id = request.id;
    std::vector<std::uint8_t> report(o_.featureLength, 0);
    std::copy_n(request.data, std::min<std::size_t>(request.size, report.size()), report.begin());
    DWORD error = 0;
    if (request.rtype != UHID_FEATURE_REPORT || request.rnum != 0 ||
        !firmware_.Set(report.data(), error)) {
      reply.u.set_report_reply.err = EIO;
    }
    Send(uhid_, reply);
  }

  int uhid_;
  const Options& o_;
  FirmwareModel firmware_;
};

int Run(const Options& o) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const host::UniqueFd stopFd(::signalfd(-1, &signals, SFD_CLOEXEC));
  const host::UniqueFd uhidFd(::open("/dev/uhid", O_RDWR | O_CLOEXEC));
  const int stop = stopFd.Get();
  const int uhid = uhidFd.Get();
  if (stop < 0 || uhid < 0) {
    std::cerr << "uhid-drawer: /dev/uhid: " << std::strerror(errno) << '\n';
    return 1;
  }
  pollfd waitStop{stop, POLLIN, 0};
  if (o.createAfterMs > 0 && ::poll(&waitStop, 1, o.createAfterMs) > 0) return 0;

  const std::string uniq = "uhid-drawer-" + std::to_string(::getpid());
  if (!Create(uhid, o, uniq)) {
    std::cerr << "uhid-drawer: create: " << std::strerror(errno) << '\n';
    return 1;
  }
  Drawer drawer(uhid, o);
  bool announced = o.nodeFile.empty();
  pollfd fds[2] = {{uhid, POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    // While the node is awaited, look for it every 10 ms; then only events wake us.
    if (::poll(fds, 2, announced ? -1 : 10) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) != 0) {
      uhid_event event{};
      if (::read(uhid, &event, sizeof event) > 0) drawer.Handle(event);
    } else if (fds[0].revents != 0) {
      break;
    }
    if (!announced) {
      const std::string node = FindNode(uniq);
      if (!node.empty()) {
        WriteNodeFile(o.nodeFile, node);
        announced = true;
      }
    }
  }
  uhid_event destroy{};
  destroy.type = UHID_DESTROY;
  Send(uhid, destroy);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options;
  try {
    options = Parse(argc, argv);
  } catch (const std::exception&) {  // a number that is not one
  }
  if (!options) {
    std::cerr << "usage: uhid-drawer [--firmware Drawer|Silent|ErrorReply|NoAck|WriteFails|None]"
                 " [--feature-length N] [--product TEXT] [--create-after-ms N]"
                 " [--open-log FILE] [--command-log FILE] [--node-file FILE]\n";
    return kUsage;
  }
  return Run(*options);
}
