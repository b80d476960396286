#include "apps/tillpop/TillpopForms.h"

#include <exception>

#include "apps/ProgramStart.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Trace.h"

namespace Data_module {
int ConnectAttemptsLeft = 0;
}  // namespace Data_module

namespace tillpop {

using Data_module::ConnectAttemptsLeft;

void TDataModule1::TimerTryToConnectTimer(host::TObject*) {
  TimerTryToConnect->SetEnabled(false);
  if (ConnectAttemptsLeft <= 0) {
    try {
      public_u::WriteResultFile("NOT_FOUND");
    } catch (...) {
      // The caller finds no usable file; ending is what matters now.
      host::TraceDroppedException("the connect timer (writing NOT_FOUND)");
    }
    host::Application->Terminate();
    return;
  }
  --ConnectAttemptsLeft;
  try {
    if (public_u::OpenDrawer()) {
      public_u::WriteResultFile("OK");
      host::Application->Terminate();
    }
  } catch (...) {
    host::TraceDroppedException("the connect timer (which writes ERROR for it)");
    try {
      public_u::WriteResultFile("ERROR");
    } catch (...) {
      // As above: the termination must happen whatever the file does.
      host::TraceDroppedException("the connect timer (writing ERROR)");
    }
    host::Application->Terminate();
  }
  TimerTryToConnect->SetEnabled(true);
}

TMainForm::TMainForm(host::TComponent* owner) : Main_u::TMainForm(owner) {
  SetBounds(0, 0, 423, 265);
}

void TMainForm::FormActivate(host::TObject*) {
  ConnectAttemptsLeft = 40;
  SetBounds(0, 0, 1, 1);
  if (Data_module::DataModule1 != nullptr)
    Data_module::DataModule1->TimerHideTask->SetEnabled(true);
}

void RunTillpop() {
  apps::RunProgram<TDataModule1, TMainForm>([](TMainForm&) {});
}

}  // namespace tillpop
