// A scenario file's bytes, from one lookup of its name: the file is opened once, and whether it is
// a plain file is asked of the open handle, not of the name again.
#pragma once

#include <string>

namespace virtualhid::detail {

struct ScenarioFileText {
  enum class Outcome { Read, NotFound, NotAFile, Unreadable };
  Outcome outcome = Outcome::NotFound;
  std::string text;    // the whole file when Read
  std::string reason;  // the system's words when Unreadable
};

ScenarioFileText ReadScenarioFile(const std::string& path);

}  // namespace virtualhid::detail
