#include "drawer/public_u.h"

#include <string>

#include "drawer/Data_module.h"
#include "drawer/Main_u.h"
#include "host/Exception.h"
#include "host/Application.h"
#include "host/StdCtrls.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "host/SafeFiles.h"
#include "host/Timer.h"
#include "host/Trace.h"

namespace public_u {

T_global_vars global_vars;
bool OpenBusy = false;

namespace {

constexpr BYTE kWriteMemory = 0x57;  // 'W'
constexpr BYTE kErrorReply1 = 0x45;  // 'E'
constexpr BYTE kErrorReply2 = 0x43;  // 'C'
constexpr BYTE kWriteAck = 0x2B;     // '+'
constexpr int kReplyPolls = 10;
constexpr UINT kPollDelayMs = 50;
// Group-writable whatever the umask: in a shared folder the next member of the group must be able
// to rewrite a result that the sticky bit keeps from being replaced.
constexpr unsigned kResultFileMode = 0664;

void TraceReply(bool read, const BYTE (&Reply)[5], BYTE SentCheck) {
  if (!read) {
    host::TraceLine("reply", "none (the read failed)");
  } else if (Reply[4] == SentCheck) {
    // The interface still holds the command itself: it has not answered yet.
    host::TraceLine("reply", host::HexBytes(Reply, 5) + " (the command, not yet an answer)");
  } else {
    host::TraceLine("reply", host::HexBytes(Reply, 5));
  }
}

}  // namespace

const char* DrawerErrorMeaning(BYTE error) {
  switch (error) {
    case 0:
      return "acknowledged";
    case 1:
      return "the interface answered with an error";
    case 2:
      return "the answer was not an acknowledgement";
    case 3:
      return "no answer";
    case 5:
      return "the command could not be sent";
    default:
      return "unknown";
  }
}

void TimerDelay(UINT milliseconds) {
  host::TTimer* timer = Data_module::DataModule1->Timer1;
  timer->SetEnabled(false);
  timer->SetInterval(milliseconds);
  timer->SetEnabled(true);
  // Each turn dispatches one message, or sleeps until the next one is due: the same order of
  // events as pumping in a loop, without burning a core while waiting.
  while (timer->Enabled()) host::Application->HandleMessage();
}

bool SendDrawerCommand(const BYTE (&Command)[3], BYTE (&Reply)[5]) {
  const BYTE check = Command[0] ^ Command[1] ^ Command[2];
  BYTE report[5] = {0, Command[0], Command[1], Command[2], check};
  global_vars.DrawerError = 5;
  // The device is looked up afresh at every step: a list rebuild during a wait clears it.
  hid::THidDevice* device = Data_module::CurrentDevice;
  const bool sent = device != nullptr && device->WriteReport(report, sizeof(report));
  if (host::Tracing()) {
    const char* problem = sent ? "" : device == nullptr ? " (no device selected)" : " (not sent)";
    host::TraceLine("command", host::HexBytes(report, sizeof(report)) + problem);
  }
  if (!sent) return false;
  TimerDelay(Command[1] == kWriteMemory ? 10 : 1);
  if (WaitDrawerReply(check, Reply)) {
    global_vars.DrawerError = 0;
    return true;
  }
  return false;
}

bool WaitDrawerReply(BYTE SentCheck, BYTE (&Reply)[5]) {
  for (int polls = 0;;) {
    host::Application->ProcessMessages();
    hid::THidDevice* device = Data_module::CurrentDevice;
    if (device == nullptr) {
      // The device was released while we waited: no reply can come any more.
      if (host::Tracing()) host::TraceLine("reply", "none (the device was released)");
      global_vars.DrawerError = 3;
      return false;
    }
    Reply[0] = 0;
    const bool read = device->ReadReport(Reply, 5);
    if (host::Tracing()) TraceReply(read, Reply, SentCheck);
    if (read && Reply[4] != SentCheck) {
      if (Reply[1] == kErrorReply1 && Reply[2] == kErrorReply2) {
        global_vars.DrawerError = 1;
        return false;
      }
      global_vars.DrawerError = 0;
      return true;
    }
    TimerDelay(kPollDelayMs);
    if (++polls == kReplyPolls) {
      global_vars.DrawerError = 3;
      return false;
    }
  }
}

bool WriteDrawerMemory(BYTE Address, BYTE Value) {
  const BYTE command[3] = {kWriteMemory, Address, Value};
  BYTE reply[5] = {0, 0, 0, 0, 0};
  bool ok = SendDrawerCommand(command, reply);
  if (global_vars.DrawerError == 0 && reply[1] != kWriteAck) global_vars.DrawerError = 2;
  return global_vars.DrawerError == 0 && ok;
}

bool ScanForDrawer() {
  Main_u::TMainForm* form = Main_u::MainForm;
  if (form == nullptr) return false;
  host::TListBox* list = form->DevListBox;
  // Counted in 8 bits, as the list's count always was.
  const BYTE count = static_cast<BYTE>(list->Count());
  if (count == 0) return false;
  list->SetItemIndex(0);
  BYTE expected = 0;
  form->DevListBoxClick(nullptr);
  while (list->ItemIndex() < count && list->ItemIndex() == expected) {
    if (form->IsDrawerDevice()) return true;
    int index = list->ItemIndex();
    expected = static_cast<BYTE>(index + 1);
    list->SetItemIndex(index + 1);
    form->DevListBoxClick(nullptr);
  }
  return false;
}

bool FindDrawer() {
  for (int pass = 0; pass < 4; ++pass) {
    if (ScanForDrawer()) return true;
  }
  return false;
}

bool OpenDrawer() {
  if (!FindDrawer()) {
    if (host::Tracing()) {
      const int listed = Main_u::MainForm != nullptr ? Main_u::MainForm->DevListBox->Count() : 0;
      host::TraceLine("attempt",
                      "no drawer interface among " + std::to_string(listed) + " listed devices");
    }
    return false;
  }
  const bool opened = WriteDrawerMemory(kDrawerOpenAddress, kDrawerOpenValue);
  if (host::Tracing()) {
    const BYTE error = global_vars.DrawerError;
    host::TraceLine("attempt", "DrawerError " + std::to_string(error) + ": " +
                                   DrawerErrorMeaning(error) + (opened ? ", drawer opened" : ""));
  }
  return opened;
}

void OpenDrawerGuarded() {
  if (OpenBusy) return;
  OpenBusy = true;
  struct Reset {
    ~Reset() { OpenBusy = false; }
  } reset;  // an exception from the device layer must not leave the guard set for good
  if (!FindDrawer()) return;
  host::SleepWithoutPumping(100);  // blocks: nothing is dispatched during this pause
  OpenDrawer();
}

bool ResultFileWanted() {
  return !(host::ParamCount() >= 1 && host::UpperCase(host::ParamStr(1)) == "/NOERR");
}

std::string ResultFileNameFor(const std::string& exeName) {
  // At a drive's root the folder is "C:\": without its delimiter and with one added back, the
  // name has exactly one.
  std::string folder = host::ExcludeTrailingPathDelimiter(host::ExtractFilePath(exeName));
  return folder + host::PathDelim() + "DEDORO.TXT";
}

std::string ResultFileName() {
  return ResultFileNameFor(host::ModuleFileName());
}

void EraseResultFile() {
  if (!ResultFileWanted()) return;
  const std::string name = ResultFileName();
  // Another member's file under a sticky folder is emptied instead: no old result may survive a
  // start. A link or a pipe that cannot be removed is left alone.
  const std::error_code error = host::RemoveOrEmpty(host::FsPath(name));
  if (error && host::Tracing()) {
    host::TraceLine("result", "the old " + name + " stays: " + host::FileErrorText(error));
  }
}

void WriteResultFile(const std::string& Text) {
  if (!ResultFileWanted()) {
    if (host::Tracing()) host::TraceLine("result", Text + " (no file: /NOERR)");
    return;
  }
  const std::string name = ResultFileName();
  bool writing = false;
  const std::error_code error =
      host::ReplaceFile(host::FsPath(name), Text + "\r\n", kResultFileMode, &writing);
  if (error && writing) {
    // The text itself could not be written (a full disk): the caller must know.
    throw host::EInOutError("Cannot write file \"" + name + "\": " + host::FileErrorText(error),
                            error.value());
  }
  if (host::Tracing()) {
    host::TraceLine("result",
                    error ? Text + " not written to " + name + ": " + host::FileErrorText(error)
                          : Text + " written to " + name);
  }
}

}  // namespace public_u
