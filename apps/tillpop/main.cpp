// tillpop: started by the point-of-sale software whenever the drawer is to open. It writes
// "OK", "ERROR" or "NOT_FOUND" into DEDORO.TXT beside itself (unless started with /NOERR) and
// ends normally whatever the outcome.
#include <iostream>

#include "apps/tillpop/TillpopForms.h"
#include "hid/SystemLibrary.h"
#include "host/Process.h"
#include "host/Trace.h"
#include "platform/HidPlatform.h"

int main(int argc, char** argv) {
  hid::RestrictLibrarySearchToSystemFolder();
  host::InitCommandLine(argc, argv);
  // Before anything else, so that the trace shows which services the run chose.
  host::Trace trace(host::TraceFileFromEnvironment(), "tillpop");
  if (!trace.Error().empty()) std::cerr << "tillpop: trace: " << trace.Error() << '\n';
  platform::ConfigureHidServices(std::cerr);
  tillpop::RunTillpop();
  return 0;
}
