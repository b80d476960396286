// The processes that run a given executable, found by their image path in every session: the
// one way to see copies that the session's own names cannot reach.
#pragma once

#include <string>
#include <vector>

#include "host/WinDefs.h"

namespace tillkey {

struct RunningCopy {
  DWORD processId = 0;
  DWORD sessionId = 0;
};

// Every process but this one whose image is the file at `exePath`, however either path is
// spelled (letter case, short names, junctions). A process whose image cannot be read (another
// account's, without the rights) is not listed: an administrator reads them all.
std::vector<RunningCopy> FindRunningCopies(const std::string& exePath);

}  // namespace tillkey
