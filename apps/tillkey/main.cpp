// tillkey: resident in the notification area, opens the drawer on the hotkey (Ctrl+F12 unless
// ROVUDIZ.INI beside it says otherwise). `tillkey /QUIT [path]` ends the copy running from that
// path (its own without one) and starts nothing itself.
#include <exception>
#include <iostream>

#include "apps/tillkey/ForegroundLevel.h"
#include "apps/tillkey/QuitRequest.h"
#include "apps/tillkey/TillkeyForms.h"
#include "hid/SystemLibrary.h"
#include "host/Dialogs.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/Trace.h"
#include "platform/HidPlatform.h"

int main(int argc, char** argv) {
  hid::RestrictLibrarySearchToSystemFolder();
  host::InitCommandLine(argc, argv);
  if (host::UpperCase(host::ParamStr(1)) == "/QUIT") {
    return tillkey::QuitRunningCopy(host::ParamCount() >= 2 ? host::ParamStr(2)
                                                            : host::ModuleFileName());
  }
  host::Trace trace(host::TraceFileFromEnvironment(), "tillkey");
  if (!trace.Error().empty()) std::cerr << "tillkey: trace: " << trace.Error() << '\n';
  platform::ConfigureHidServices(std::cerr);
  const tillkey::ForegroundLevelWatch foregroundWatch(host::Tracing());
  try {
    tillkey::RunTillkey();
  } catch (const std::exception& e) {
    // The program could not start (its forms are gone again, hook and icon with them); a
    // resident program has no one else to tell.
    host::TraceDroppedException("tillkey's start");
    host::ShowMessageBox(nullptr, e.what(), tillkey::kTitle, host::TMsgDlgType::mtError, false);
    return 1;
  }
  return 0;
}
