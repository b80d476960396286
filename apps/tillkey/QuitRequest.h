// `tillkey /QUIT`: how an installer or a script ends the copy of tillkey that runs from the same
// path, the way its tray menu's close does, and never by killing it (a killed copy leaves its
// icon behind, and its hook may take older hooks with it).
#pragma once

namespace tillkey {

// Asks the running copy to end and waits for it. Returns the exit status for the command: 0
// when no copy runs or it has ended; 1 when it cannot tell whether one runs, could not ask it, or
// it did not end in time (an open tray menu or setup dialog does not hold it).
int QuitRunningCopy();

}  // namespace tillkey
