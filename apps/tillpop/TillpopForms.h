// tillpop's own parts of the shared data module and main form: forty attempts, 100 ms apart,
// each one a full open sequence, ending in the result file.
#pragma once

#include "drawer/Data_module.h"
#include "drawer/Main_u.h"

namespace Data_module {
// Attempts left before "NOT_FOUND"; set to 40 by each activation of the main form.
extern int ConnectAttemptsLeft;
}  // namespace Data_module

namespace tillpop {

class TDataModule1 : public Data_module::TDataModule1 {
 public:
  using Data_module::TDataModule1::TDataModule1;
  void TimerTryToConnectTimer(host::TObject* Sender) override;
};

class TMainForm : public Main_u::TMainForm {
 public:
  explicit TMainForm(host::TComponent* owner);
  void FormActivate(host::TObject* Sender) override;
};

// The whole program once the platform's HID services are chosen: returns when it has ended.
void RunTillpop();

}  // namespace tillpop
