#include "apps/tilldiag/CommandLine.h"

#include <charconv>

namespace tilldiag {

const char* const kUsage =
    "usage: tilldiag list [--json]\n"
    "       tilldiag open [N] [--json]\n"
    "\n"
    "  list    every HID interface present, and whether it is the cash drawer interface\n"
    "          (exit status 0 when a drawer interface is present, 1 when not)\n"
    "  open    runs the programs' open sequence and shows each command and reply; with N,\n"
    "          writes the open command to interface N of the list instead\n"
    "          (exit status 0 when the drawer opened, 1 when not)\n"
    "  --json  one JSON object instead of text, for scripts\n"
    "\n"
    "Exit status 2: the command line was not understood. TILL_SIMULATION=<scenario file>\n"
    "makes tilldiag use the virtual drawer, as it does the programs.\n";

namespace {

bool ParseIndex(const std::string& text, int& index) {
  if (text.empty() || text.size() > 9) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, index);
  return error == std::errc() && stop == end && index >= 0;
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> words;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "--help" || argument == "-h" || argument == "/?") {
      options.command = Command::Help;
      return options;
    } else if (argument.size() > 1 && argument[0] == '-') {
      options.error = "unknown option '" + argument + "'";
      return options;
    } else {
      words.push_back(argument);
    }
  }
  if (words.empty()) {
    options.error = "no command given";
  } else if (words[0] == "list") {
    options.command = Command::List;
    if (words.size() > 1) options.error = "list takes no argument ('" + words[1] + "')";
  } else if (words[0] == "open") {
    options.command = Command::Open;
    if (words.size() > 2) {
      options.error = "open takes at most one argument ('" + words[2] + "' is one too many)";
    } else if (words.size() == 2 && !ParseIndex(words[1], options.index)) {
      options.error = "'" + words[1] + "' is not an interface number (0, 1, ... as list shows)";
    }
  } else {
    options.error = "unknown command '" + words[0] + "'";
  }
  return options;
}

}  // namespace tilldiag
