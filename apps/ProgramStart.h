// How the programs start and run: the result file goes before any device is touched, then the
// title, the data module and the main form it relies on, and the message loop until the end.
// tilldiag and the tests build the programs' objects through the same start, so that what they
// see is what a started program has.
#pragma once

#include "drawer/public_u.h"
#include "host/Application.h"

namespace apps {

// The application title, the text of the taskbar button.
inline constexpr const char* kApplicationTitle =
    "\xD7\xA4\xD7\xAA\xD7\x99\xD7\x97\xD7\xAA \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94";

// What a start does with the DEDORO.TXT beside the program: the programs erase it before anything
// else, so that no old result survives; tilldiag writes none and leaves one that lies beside it.
enum class OldResult { Erase, Keep };

// The program's start, up to its message loop, on `app`: the result file goes first, then the
// title, the data module and the main form, which belong to the application from here on.
// Returns the main form; the data module is the shared Data_module::DataModule1.
template <class DataModule, class MainForm>
MainForm* StartProgram(host::TApplication& app, OldResult oldResult = OldResult::Erase) {
  app.Initialize();
  if (oldResult == OldResult::Erase) public_u::EraseResultFile();
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

}  // namespace apps
