// How both programs start and run: the result file goes before any device is touched, then the
// title, the data module and the main form it relies on, and the message loop until the end.
#pragma once

#include "drawer/public_u.h"
#include "host/Application.h"

namespace public_u {

// The application title, the text of the taskbar button.
inline constexpr const char* kApplicationTitle =
    "\xD7\xA4\xD7\xAA\xD7\x99\xD7\x97\xD7\xAA \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94";

// The program's start, up to its message loop, on `app`: the result file goes first, then the
// title, the data module and the main form, which belong to the application from here on.
// Returns the main form.
template <class DataModule, class MainForm>
MainForm* StartProgram(host::TApplication& app) {
  app.Initialize();
  EraseResultFile();
  app.SetTitle(kApplicationTitle);
  DataModule* module = nullptr;
  MainForm* form = nullptr;
  app.CreateForm(module);  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks)
  app.CreateForm(form);    // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks)
  return form;
}

// Runs the program to its end. `ended` gets the main form once the loop has ended, before the
// forms go.
template <class DataModule, class MainForm, class Ended>
void RunProgram(Ended ended) {
  host::TApplication app;
  MainForm* form = StartProgram<DataModule, MainForm>(app);
  app.Run();
  ended(*form);
}

}  // namespace public_u
