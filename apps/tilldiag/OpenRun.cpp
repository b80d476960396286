#include "apps/tilldiag/OpenRun.h"

#include <string_view>

#include "apps/ProgramStart.h"
#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Trace.h"

namespace tilldiag {
namespace {

constexpr std::string_view kEndOfSequence = "end of the sequence";

// The trace kinds that make up the exchange; selections and arrivals are the device list's.
bool PartOfTheExchange(std::string_view kind) {
  return kind == "command" || kind == "reply" || kind == "attempt" || kind == "exception" ||
         kind == "read error";
}

int ListedIndexOf(const Main_u::TMainForm& form, const std::string& devicePath) {
  const host::TListBox& list = *form.DevListBox;
  for (int i = 0; i < list.Count(); ++i) {
    const auto* device = dynamic_cast<const hid::THidDevice*>(list.Objects(i));
    if (device != nullptr && device->PnPInfo() != nullptr &&
        device->PnPInfo()->DevicePath == devicePath) {
      return i;
    }
  }
  return -1;
}

OpenOutcome RunWithTheForms(const std::string& devicePath, std::vector<TracedEvent>& events) {
  OpenOutcome outcome;
  host::TApplication app;
  Main_u::TMainForm* form =
      apps::StartProgram<Data_module::TDataModule1, Main_u::TMainForm>(app, apps::OldResult::Keep);
  // The controller enumerates when its first message is dispatched; the list fills from it.
  app.ProcessMessages();

  // Traced from here on: the times shown are the sequence's own, and its end is one more event
  // on the same clock.
  double end = 0;
  const host::Trace trace([&events, &end](double ms, std::string_view kind, std::string_view text) {
    if (PartOfTheExchange(kind)) events.push_back({ms, std::string(kind), std::string(text)});
    if (kind == kEndOfSequence) end = ms;
  });
  if (devicePath.empty()) {
    outcome.opened = public_u::OpenDrawer();
  } else {
    const int line = ListedIndexOf(*form, devicePath);
    outcome.listed = line >= 0;
    if (outcome.listed) {
      form->DevListBox->SetItemIndex(line);
      form->DevListBoxClick(nullptr);
      outcome.opened =
          public_u::WriteDrawerMemory(public_u::kDrawerOpenAddress, public_u::kDrawerOpenValue);
    }
  }
  host::TraceLine(kEndOfSequence, "");
  outcome.totalMilliseconds = end;
  if (Data_module::CurrentDevice != nullptr) {
    outcome.device = Data_module::DeviceNameOf(Data_module::CurrentDevice);
    if (const hid::THidPnPInfo* info = Data_module::CurrentDevice->PnPInfo()) {
      outcome.devicePath = info->DevicePath;
    }
  }
  return outcome;
}

}  // namespace

OpenOutcome RunOpenSequence(const std::string& devicePath) {
  std::vector<TracedEvent> events;
  public_u::global_vars.DrawerError = 0;
  OpenOutcome outcome = RunWithTheForms(devicePath, events);
  // Read once the trace and the forms are gone: no reader thread can add to it any more.
  outcome.events = std::move(events);
  for (const TracedEvent& event : outcome.events) {
    if (event.kind == "command") outcome.found = true;
  }
  if (!outcome.found) {
    outcome.device.clear();
    outcome.devicePath.clear();
  }
  outcome.drawerError = public_u::global_vars.DrawerError;
  outcome.meaning = public_u::DrawerErrorMeaning(outcome.drawerError);
  return outcome;
}

}  // namespace tilldiag
