// tillpop: started by the point-of-sale software whenever the drawer is to open. It writes
// "OK", "ERROR" or "NOT_FOUND" into DEDORO.TXT beside itself (unless started with /NOERR) and
// ends normally whatever the outcome.
#include <iostream>

#include "apps/tillpop/TillpopForms.h"
#include "host/Process.h"
#include "platform/HidPlatform.h"

int main(int argc, char** argv) {
  host::InitCommandLine(argc, argv);
  platform::ConfigureHidServices(std::cerr);
  tillpop::RunTillpop();
  return 0;
}
