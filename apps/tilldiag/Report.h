// tilldiag's reports, for people (text) and for scripts (JSON, one object on one line).
#pragma once

#include <string>
#include <vector>

#include "apps/tilldiag/InterfaceSurvey.h"
#include "apps/tilldiag/OpenRun.h"

namespace tilldiag {

// `services` are the lines that say which HID services the run uses (a scenario file, or the
// system's own), first in every report.
std::string ListText(const std::vector<std::string>& services, const Survey& survey);
std::string ListJson(const std::vector<std::string>& services, const Survey& survey);

// `index` is the interface asked for, or -1 for the programs' own search.
std::string OpenText(const std::vector<std::string>& services, int index,
                     const OpenOutcome& outcome);
std::string OpenJson(const std::vector<std::string>& services, int index,
                     const OpenOutcome& outcome);

}  // namespace tilldiag
