// show_setup_dialog SETTINGS_FILE MILLISECONDS: opens the setup dialog on SETTINGS_FILE and closes
// it after MILLISECONDS, so that scripts/setup-dialog-picture can take its picture as the system
// draws it.
#include <cstdlib>
#include <cstdio>

#include "host/Application.h"
#include "host/Timer.h"
#include "hotkey/setup_u.h"

namespace {

void CloseDialog(host::TObject* /*Sender*/) {
  if (setup_u::SetupForm != nullptr) setup_u::SetupForm->Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: show_setup_dialog SETTINGS_FILE MILLISECONDS\n");
    return 2;
  }
  host::TApplication application;
  host::TTimer closer(&application);
  closer.SetInterval(static_cast<UINT>(std::atoi(argv[2])));
  closer.SetOnTimer(host::TNotifyEvent::Of<&CloseDialog>());
  setup_u::ShowSetupDialog(argv[1]);
  return 0;
}
