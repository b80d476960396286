// The hook objects on the real Win32 hook chain: keys sent with SendInput reach the system-wide
// low-level keyboard hook through the object's thunk, and a swallowed key never reaches the hooks
// installed before it. Every hook is an object here, so each is removed on every way out of a
// test, failures included: a process that ends with its hook installed would leave older hooks
// deaf under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "apps/tillkey/QuitRequest.h"
#include "apps/tillkey/TillkeyForms.h"
#include "drawer/public_u.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/SharedMemory.h"
#include "host/SysUtils.h"
#include "host/win32/KernelHandle.h"
#include "hotkey/InstanceGuard.h"
#include "hotkey/hooks.h"
#include "hotkey/setup_u.h"
#include "tests/KeyboardInput.h"
#include "tests/Pump.h"

namespace {

using till_testing::KeyInput;
using till_testing::PumpUntil;

using hooks::TCustomHook;
using hooks::THookMsg;
using hooks::TLowLevelKeyboardHook;

struct Seen {
  DWORD vkCode;
  DWORD flags;
  WPARAM message;
};

class RecordingHook : public TLowLevelKeyboardHook {
 public:
  explicit RecordingHook(DWORD swallow = 0) : swallow_(swallow) {
    OnPreExecute = hooks::THookNotify::Of<&RecordingHook::Pre>(this);
  }
  std::vector<Seen> seen;

 private:
  void Pre(TCustomHook*, THookMsg& msg) {
    // Only what the test sent: nothing else types on this display, but be sure.
    if ((HookStruct->flags & LLKHF_INJECTED) == 0) return;
    seen.push_back({HookStruct->vkCode, HookStruct->flags, msg.WParam});
    if (HookStruct->vkCode == swallow_ && (HookStruct->flags & LLKHF_UP) == 0) msg.Result = 1;
  }
  DWORD swallow_;
};

// Up to five seconds for `done`, doing `step` between two looks (for waits that must not pump).
template <class Done, class Step>
bool Within5s(Done done, Step step) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < deadline) step();
  return done();
}

// Sends from a second thread, as the system's input arrives from outside the hook's thread, and
// pumps until `hook` has seen `count` keys.
void SendAndPump(std::vector<INPUT> inputs, const RecordingHook& hook, std::size_t count) {
  UINT sent = 0;
  std::thread sender(
      [&] { sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)); });
  PumpUntil([&] { return hook.seen.size() >= count; });
  sender.join();
  EXPECT_EQ(sent, inputs.size());
}

TEST(SystemHook, KeysReachTheObjectWithLeftAndRightModifierCodesAndASwallowedKeyStopsThere) {
  RecordingHook older;
  RecordingHook newer(VK_F12);
  older.SetActive(true);
  newer.SetActive(true);
  ASSERT_TRUE(older.Active());
  ASSERT_TRUE(newer.Active());

  SendAndPump({KeyInput(VK_LCONTROL, false), KeyInput(VK_F12, false), KeyInput(VK_F12, true),
               KeyInput(VK_LCONTROL, true), KeyInput(VK_RMENU, false), KeyInput(VK_RMENU, true),
               KeyInput(VK_RSHIFT, false), KeyInput(VK_RSHIFT, true)},
              newer, 8);

  std::vector<DWORD> codes;
  for (const Seen& s : newer.seen) codes.push_back(s.vkCode);
  EXPECT_EQ(codes, (std::vector<DWORD>{162, 123, 123, 162, 165, 165, 161, 161}));
  ASSERT_EQ(newer.seen.size(), 8u);
  EXPECT_EQ(newer.seen[1].flags & LLKHF_UP, 0u);
  EXPECT_EQ(newer.seen[2].flags & LLKHF_UP, LLKHF_UP);
  EXPECT_EQ(newer.seen[1].message, static_cast<WPARAM>(WM_KEYDOWN));
  EXPECT_EQ(newer.seen[2].message, static_cast<WPARAM>(WM_KEYUP));

  // The older hook got everything but the swallowed key-down.
  std::vector<DWORD> olderCodes;
  for (const Seen& s : older.seen) olderCodes.push_back(s.vkCode);
  EXPECT_EQ(olderCodes, (std::vector<DWORD>{162, 123, 162, 165, 165, 161, 161}));
  ASSERT_GE(older.seen.size(), 2u);
  EXPECT_EQ(older.seen[1].flags & LLKHF_UP, LLKHF_UP) << "only F12's release got through";
}

TEST(SystemHook, AnInactiveOrDestroyedHookSeesNothingMore) {
  RecordingHook watcher;
  watcher.SetActive(true);
  {
    RecordingHook gone;
    gone.SetActive(true);
  }
  RecordingHook inactive;
  inactive.SetActive(true);
  inactive.SetActive(false);
  SendAndPump({KeyInput(VK_F11, false), KeyInput(VK_F11, true)}, watcher, 2);
  EXPECT_EQ(watcher.seen.size(), 2u);
  EXPECT_TRUE(inactive.seen.empty());
}

TEST(SystemHook, TillkeysTriggerSwallowsOnlyTheHotkeysKeyDownAndAsksForAnOpening) {
  host::TApplication application;
  tillkey::TMainForm* form = nullptr;
  application.CreateForm(form);  // loads the settings file: what the test sets comes after
  setup_u::CtrlAltShiftByte = 0;
  setup_u::PreKey = VK_F12;
  setup_u::b_laavir_makash_le_windows = false;
  public_u::global_vars.OpenRequested = false;
  RecordingHook older;  // sees what the trigger lets through
  older.SetActive(true);
  form->KeyboardHook = std::make_unique<TLowLevelKeyboardHook>();
  form->KeyboardHook->OnPreExecute =
      hooks::THookNotify::Of<&tillkey::TMainForm::HookPreExecute>(form);
  form->KeyboardHook->SetActive(true);

  // F12 alone is not the hotkey; with right Ctrl held it is, and only its key-down stops.
  SendAndPump({KeyInput(VK_F12, false), KeyInput(VK_F12, true), KeyInput(VK_RCONTROL, false),
               KeyInput(VK_F12, false), KeyInput(VK_F12, true), KeyInput(VK_RCONTROL, true)},
              older, 5);

  std::vector<DWORD> passed;
  for (const Seen& s : older.seen) passed.push_back(s.vkCode | (s.flags & LLKHF_UP));
  EXPECT_EQ(passed, (std::vector<DWORD>{123, 123 | LLKHF_UP, 163, 123 | LLKHF_UP, 163 | LLKHF_UP}));
  EXPECT_TRUE(public_u::global_vars.OpenRequested);
  EXPECT_EQ(form->Label4->Caption(), "163");
  EXPECT_FALSE(Main_u::CtrlDown);
  setup_u::b_laavir_makash_le_windows = true;
  public_u::global_vars.OpenRequested = false;
}

// Keeps the thread as a slow enumeration inside the system's device-change broadcast does.
constexpr UINT kSlowMessage = WM_APP + 0x177;
bool SlowHandler(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg != kSlowMessage) return false;
  Sleep(300);
  result = 0;
  return true;
}

TEST(SystemHook, AStallInAHandlerOfASentMessageInstallsTheHookAgain) {
  host::TApplication application;
  tillkey::TMainForm* form = nullptr;
  application.CreateForm(form);
  const auto slow = host::TWindowHook::Of<&SlowHandler>();
  application.HookMainWindow(slow);
  const HHOOK before = form->KeyboardHook->HookHandle();
  std::atomic<bool> answered{false};
  std::thread sender([&] {
    SendMessageW(application.Handle(), kSlowMessage, 0, 0);
    answered = true;
  });
  const bool handled = PumpUntil([&] { return answered.load(); });
  sender.join();
  application.UnhookMainWindow(slow);
  ASSERT_TRUE(handled);
  // A timer tick during the pumping may have found the stall first (a slow machine's pumping
  // takes several ticks): either way, the hook is a new one now.
  form->KeepHookAlive();
  EXPECT_NE(form->KeyboardHook->HookHandle(), before);
}

// The end of the session, sent by another thread while the hook is installed again, must wait
// for the next retrieval: run inside the installation it would free the hook object under it.
TEST(SystemHook, TheSessionsEndSentDuringAnInstallationWaitsForTheNextRetrieval) {
  host::TApplication application;
  tillkey::TMainForm* form = nullptr;
  application.CreateForm(form);
  std::thread sender([&] { SendMessageW(application.Handle(), WM_ENDSESSION, TRUE, 0); });
  // Waiting, not yet run: GetQueueStatus runs nothing.
  Within5s([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; },
           [] { Sleep(1); });
  ASSERT_FALSE(application.Terminated()) << "the session's end ran before the installation";
  form->KeyboardHook->Reinstall();
  EXPECT_NE(form->KeyboardHook, nullptr);
  EXPECT_FALSE(application.Terminated());
  EXPECT_TRUE(PumpUntil([&] { return application.Terminated(); }));
  sender.join();
  EXPECT_EQ(form->KeyboardHook, nullptr);
}

// What /QUIT says for the test program's own path, spelt in other letters as an installer might.
// A block another account's copy holds under a rule that lets this account not even open it is
// no sign that no copy runs: under today's name, and under the name an earlier release took from
// the path as started. A copy no block of this session leads to (another session's) is found by
// its image.
TEST(TillkeyQuit, ABlockItCannotOpenFailsAndACopyOnlyItsImageShowsRunsElsewhere) {
  std::string exe = host::ModuleFileName();
  for (char& c : exe) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  SECURITY_DESCRIPTOR nobody;
  InitializeSecurityDescriptor(&nobody, SECURITY_DESCRIPTOR_REVISION);
  ACL empty;
  InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
  SetSecurityDescriptorDacl(&nobody, TRUE, &empty, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &nobody, FALSE};
  for (const std::string& name :
       {InstanceGuard::GuardMappingName(exe), InstanceGuard::MappingNameFor(exe)}) {
    const host::MappingHandle block(
        CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, 8, name.c_str()));
    ASSERT_TRUE(block);
    EXPECT_EQ(tillkey::QuitRunningCopy(exe), tillkey::kQuitFailed) << name;
  }
  std::wstring command = L"copy --gtest_list_tests";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  const std::u16string self = host::Utf8ToUtf16(host::ModuleFileName());
  ASSERT_TRUE(CreateProcessW(std::wstring(self.begin(), self.end()).c_str(), command.data(),
                             nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                             &started));
  const host::win32::KernelHandle process(started.hProcess);
  const host::win32::KernelHandle thread(started.hThread);
  EXPECT_EQ(tillkey::QuitRunningCopy(exe), tillkey::kQuitElsewhere);
  TerminateProcess(process.Get(), 0);
}

}  // namespace
