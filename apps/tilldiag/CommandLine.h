// tilldiag's command line: `list` or `open [N]`, with `--json` anywhere.
#pragma once

#include <string>
#include <vector>

namespace tilldiag {

enum class Command { List, Open, Help };

struct Options {
  Command command = Command::Help;
  int index = -1;  // open: the interface asked for, -1 for the programs' own search
  bool json = false;
  std::string error;  // set when the line is not understood: say it and end with kBadUsage
};

// The exit statuses: found (list) or opened (open); not; the command line was not understood.
inline constexpr int kExitFound = 0;
inline constexpr int kExitNotFound = 1;
inline constexpr int kExitBadUsage = 2;

// `arguments` without the program's own name.
Options ParseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace tilldiag
