// The two programs' shared objects on the virtual HID services and the virtual clock: an
// application started as the programs start, the device list filled by the first enumeration.
#pragma once

#include <gtest/gtest.h>

#include "apps/ProgramStart.h"
#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/portable/Clock.h"
#include "platform/virtual/VirtualHid.h"
#include "tests/Pump.h"

class DrawerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    virtualhid::Reset();
    virtualhid::RegisterLibraries();
    public_u::global_vars = public_u::T_global_vars{};
    public_u::OpenBusy = false;
  }
  void TearDown() override {
    delete app;
    app = nullptr;
    virtualhid::Reset();
    host::portable::UseRealClock();
  }

  // Starts the programs' shared objects as a program does, once the devices of the test exist,
  // and lets the first enumeration fill the list.
  void Start() {
    app = new host::TApplication();
    form = apps::StartProgram<Data_module::TDataModule1, Main_u::TMainForm>(*app);
    module = Data_module::DataModule1;
    app->ProcessMessages();
  }
  // Lets the loop run for `ms` of virtual time.
  void RunFor(std::int64_t ms) { till_testing::RunFor(*app, ms); }
  bool Select(int line) {
    form->DevListBox->SetItemIndex(line);
    form->DevListBoxClick(nullptr);
    return Data_module::CurrentDevice != nullptr;
  }

  host::TApplication* app = nullptr;
  Data_module::TDataModule1* module = nullptr;
  Main_u::TMainForm* form = nullptr;
};
