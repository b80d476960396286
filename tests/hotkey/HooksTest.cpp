// Hook objects on the portable backend: their thunks run as real machine code, called the way the
// system calls a hook procedure, and the in-process hook chain gives them the system's rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/Exception.h"
#include "host/Messages.h"
#include "host/SystemHook.h"
#include "host/Trace.h"
#include "host/portable/KeyInput.h"
#include "hotkey/ThunkPage.h"
#include "hotkey/hooks.h"

namespace {

using hooks::TCustomHook;
using hooks::THookMsg;
using hooks::TLowLevelKeyboardHook;
using host::portable::KeyStroke;
using host::portable::PressKey;

// A keyboard hook that counts its installations and records what its handlers saw.
class RecordingHook : public TLowLevelKeyboardHook {
 public:
  struct Call {
    TCustomHook* hook;
    std::int32_t code;
    WPARAM wParam;
    DWORD vkCode;  // read through HookStruct while the handler runs
  };

  RecordingHook() {
    OnPreExecute = hooks::THookNotify::Of<&RecordingHook::Pre>(this);
    OnPostExecute = hooks::THookNotify::Of<&RecordingHook::Post>(this);
  }

  int installs = 0;
  LRESULT answer = 0;   // what Pre leaves in Result
  DWORD swallowVk = 0;  // Pre answers 1 for this key code
  bool raise = false;   // Pre raises after setting Result
  std::vector<Call> pre;
  std::vector<LRESULT> post;  // the chain's answer, as PostExecute sees it

 protected:
  HHOOK AllocateHook() override {
    ++installs;
    return TLowLevelKeyboardHook::AllocateHook();
  }

 private:
  void Pre(TCustomHook* hook, THookMsg& msg) {
    pre.push_back({hook, msg.Code, msg.WParam, HookStruct != nullptr ? HookStruct->vkCode : 0});
    msg.Result = answer;
    if (swallowVk != 0 && HookStruct != nullptr && HookStruct->vkCode == swallowVk) msg.Result = 1;
    if (raise) throw std::runtime_error("handler failed");
  }
  void Post(TCustomHook*, THookMsg& msg) { post.push_back(msg.Result); }
};

KeyStroke Down(DWORD vk) {
  return {vk, 0, 0, 0};
}

class HooksTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host::portable::RefuseHookInstallation(false);
    host::portable::TakeKeyOutcomes();
    EXPECT_EQ(host::portable::InstalledHookCount(), 0u) << "a test left a hook installed";
  }
};

TEST_F(HooksTest, EachThunkCalledAsAHookProcedureReachesItsOwnObjectWithTheSystemsArguments) {
  RecordingHook a;
  RecordingHook b;
  a.answer = 7;
  ASSERT_NE(a.HookProc(), nullptr);
  ASSERT_NE(a.HookProc(), b.HookProc());
  KBDLLHOOKSTRUCT key{65, 30, 0, 0, 0};
  // Called directly, as the system calls a hook procedure: inactive hooks still answer.
  EXPECT_EQ(a.HookProc()(-3, WM_SYSKEYDOWN, reinterpret_cast<LPARAM>(&key)), 7);
  EXPECT_EQ(b.HookProc()(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&key)), 0);
  ASSERT_EQ(a.pre.size(), 1u);
  EXPECT_EQ(a.pre[0].hook, &a);
  EXPECT_EQ(a.pre[0].code, -3) << "every code goes through, also negative ones";
  EXPECT_EQ(a.pre[0].wParam, WM_SYSKEYDOWN);
  EXPECT_EQ(a.pre[0].vkCode, 65u);
  ASSERT_EQ(b.pre.size(), 1u);
  EXPECT_EQ(b.pre[0].hook, &b);
  EXPECT_EQ(b.pre[0].wParam, WM_KEYUP);
  EXPECT_EQ(a.HookStruct, nullptr);
  EXPECT_EQ(b.HookStruct, nullptr);
}

TEST_F(HooksTest, ManyLiveHooksAcrossSeveralPagesEachKeepTheirOwnBinding) {
  const std::uintptr_t firstPage = hooks::ThunkPageList();
  // More than two pages of slots on either processor: a 32-bit page holds 314, so the 300 this
  // once made fitted in the page an earlier test had started, and the pool never grew there.
  const int count = static_cast<int>(
      2 * std::max(hooks::ThunkPage32::kSlotCount, hooks::ThunkPage64::kSlotCount) + 1);
  std::vector<std::unique_ptr<RecordingHook>> live;
  for (int i = 0; i < count; ++i) {
    live.push_back(std::make_unique<RecordingHook>());
    live.back()->answer = i + 100;
  }
  KBDLLHOOKSTRUCT key{1, 0, 0, 0, 0};
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(live[i]->HookProc()(0, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), i + 100) << i;
    ASSERT_EQ(live[i]->pre.size(), 1u) << i;
  }
  EXPECT_NE(hooks::ThunkPageList(), firstPage) << "the pool grew by pages of its own";
}

TEST_F(HooksTest, ActivationInstallsOnceRemovesOnceAndAnEqualValueMakesNoSystemCall) {
  RecordingHook hook;
  EXPECT_FALSE(hook.Active());
  hook.SetActive(false);
  EXPECT_EQ(hook.installs, 0);

  hook.SetActive(true);
  const HHOOK handle = hook.HookHandle();
  EXPECT_NE(handle, nullptr);
  hook.SetActive(true);
  EXPECT_EQ(hook.installs, 1);
  EXPECT_EQ(hook.HookHandle(), handle);
  EXPECT_EQ(host::portable::InstalledHookCount(), 1u);

  // A new thread id puts the hook in again.
  hook.SetThreadID(hook.ThreadID() + 1);
  EXPECT_EQ(hook.installs, 2);
  EXPECT_TRUE(hook.Active());
  EXPECT_EQ(host::portable::InstalledHookCount(), 1u);

  // The trace says "removed" only of a hook the system really took out.
  std::vector<std::string> traced;
  const host::Trace trace(
      [&](double, std::string_view, std::string_view text) { traced.emplace_back(text); });
  hook.SetActive(false);
  EXPECT_EQ(hook.HookHandle(), nullptr);
  EXPECT_EQ(host::portable::InstalledHookCount(), 0u);
  EXPECT_FALSE(host::UnhookWindowsHookEx(handle)) << "already removed";
  hook.SetActive(true);
  host::UnhookWindowsHookEx(hook.HookHandle());  // the system dropped it meanwhile
  hook.SetActive(false);
  EXPECT_EQ(traced,
            (std::vector<std::string>{"removed", "TLowLevelKeyboardHook installed",
                                      "removal refused: the system no longer had the hook"}));
}

TEST_F(HooksTest, RefusedInstallationRaisesWithTheClassNameAndLeavesTheHookInactive) {
  RecordingHook hook;
  host::portable::RefuseHookInstallation(true);
  try {
    hook.SetActive(true);
    FAIL() << "no exception";
  } catch (const host::Exception& e) {
    EXPECT_STREQ(e.what(), "TLowLevelKeyboardHook CREATION FAILED!");
  }
  EXPECT_FALSE(hook.Active());
  EXPECT_EQ(hook.HookHandle(), nullptr);
  // The next attempt is a real one, not "already active".
  host::portable::RefuseHookInstallation(false);
  hook.SetActive(true);
  EXPECT_TRUE(hook.Active());
  hook.SetActive(false);
}

TEST_F(HooksTest, TheNewestHookDecidesFirstAndANonZeroResultStopsTheChain) {
  RecordingHook older;
  RecordingHook newer;
  older.answer = 5;  // the chain's answer for keys that get past newer
  newer.swallowVk = 123;
  older.SetActive(true);
  newer.SetActive(true);

  auto passed = PressKey(Down(65));
  EXPECT_EQ(passed.result, 5) << "newer passed it on and returned the older hook's answer";
  ASSERT_EQ(older.pre.size(), 1u);
  EXPECT_EQ(older.pre[0].vkCode, 65u);
  EXPECT_EQ(newer.post, std::vector<LRESULT>{5}) << "PostExecute sees the chain's answer";

  auto swallowed = PressKey(Down(123));
  EXPECT_EQ(swallowed.result, 1);
  EXPECT_FALSE(swallowed.ReachedWindow());
  EXPECT_EQ(older.pre.size(), 1u) << "the older hook never saw the swallowed key";
  EXPECT_EQ(newer.post.size(), 1u) << "no PostExecute for a handled event";
  EXPECT_EQ(newer.HookStruct, nullptr);

  older.SetActive(false);
  newer.SetActive(false);
}

TEST_F(HooksTest, AHookWithoutHandlersPassesEveryKeyOnUnchanged) {
  TLowLevelKeyboardHook bare;
  RecordingHook older;
  older.SetActive(true);
  bare.SetActive(true);
  auto outcome = PressKey({123, 88, LLKHF_UP, 0});
  EXPECT_TRUE(outcome.ReachedWindow());
  ASSERT_EQ(older.pre.size(), 1u);
  EXPECT_EQ(older.pre[0].wParam, WM_KEYUP);
  bare.SetActive(false);
  older.SetActive(false);
}

TEST_F(HooksTest, AHandlerThatRaisesLetsTheKeyGoOnInsteadOfLosingIt) {
  RecordingHook older;
  RecordingHook failing;
  failing.answer = 1;  // it would have swallowed the key
  failing.raise = true;
  older.SetActive(true);
  failing.SetActive(true);
  auto outcome = PressKey(Down(65));
  EXPECT_TRUE(outcome.ReachedWindow());
  EXPECT_EQ(older.pre.size(), 1u);
  EXPECT_EQ(failing.post.size(), 1u);
  EXPECT_EQ(failing.HookStruct, nullptr);
  failing.SetActive(false);
  older.SetActive(false);
}

TEST_F(HooksTest, DestroyingAnActiveHookTakesItOutOfTheChainBeforeItsSlotIsReused) {
  HOOKPROC oldProc = nullptr;
  {
    RecordingHook gone;
    gone.SetActive(true);
    oldProc = gone.HookProc();
  }
  EXPECT_EQ(host::portable::InstalledHookCount(), 0u);
  EXPECT_EQ(reinterpret_cast<HOOKPROC>(hooks::ThunkFreeList()), oldProc);
  // The released slot is the next one handed out; its new owner is not installed, so a key
  // must not reach it through the old hook.
  RecordingHook successor;
  EXPECT_EQ(successor.HookProc(), oldProc);
  PressKey(Down(65));
  EXPECT_TRUE(successor.pre.empty());
}

TEST_F(HooksTest, KeysFromAnotherThreadReachTheHookOnlyWhenTheGuiThreadRetrievesMessages) {
  RecordingHook hook;
  hook.SetActive(true);
  const DWORD guiThread = host::CurrentThreadId();
  DWORD seenOn = 0;
  struct Probe {
    DWORD* seenOn;
    void Pre(TCustomHook*, THookMsg&) { *seenOn = host::CurrentThreadId(); }
  } probe{&seenOn};
  hook.OnPreExecute = hooks::THookNotify::Of<&Probe::Pre>(&probe);

  std::thread sender([] { host::portable::InjectKey(Down(123)); });
  sender.join();
  EXPECT_EQ(seenOn, 0u) << "not before the GUI thread looks for messages";
  host::DispatchPending();
  EXPECT_EQ(seenOn, guiThread);
  auto outcomes = host::portable::TakeKeyOutcomes();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].key.vkCode, 123u);
  hook.SetActive(false);
}

}  // namespace
