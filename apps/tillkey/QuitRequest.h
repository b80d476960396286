// `tillkey /QUIT ["path\to\tillkey.exe"]`: how an installer or a script ends the copy of tillkey
// that runs from a path, the way its tray menu's close does, and never by killing it (a killed
// copy leaves its icon behind, and its hook may take older hooks with it). Without a path, the
// copy that runs from this program's own path. An installer passes the path so that it can run
// a copy of its own, from a folder only it can write, rather than the one in the install folder.
#pragma once

#include <string>

namespace tillkey {

// The exit statuses of /QUIT.
inline constexpr int kQuitDone = 0;       // no copy runs, or it has ended
inline constexpr int kQuitFailed = 1;     // cannot tell, could not ask, or it did not end in time
inline constexpr int kQuitElsewhere = 3;  // copies from that path still run: other sessions

// Asks the copy running from `exePath` in this session to end and waits for it (an open tray
// menu or setup dialog does not hold it). Then looks for copies of that executable still running
// in any session, which the session's own names cannot reach (fast user switching), and lists
// them on the error output.
int QuitRunningCopy(const std::string& exePath);

}  // namespace tillkey
