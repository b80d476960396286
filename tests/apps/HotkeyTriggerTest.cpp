// The hotkey trigger's decision, event by event: which keys move the modifier flags, which
// key-down is the hotkey, and what is asked for and swallowed.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <map>
#include <string>

#include "apps/tillkey/HotkeyTrigger.h"

namespace {

using tillkey::HotkeySettings;
using tillkey::ModifierKeys;

// One letter an event: '.' passed on, 's' swallowed, 'o' an opening asked for and the event
// passed on, 'O' asked for and swallowed; '?' an answer other than 0 or 1.
char Outcome(const tillkey::HotkeyDecision& d) {
  if (d.Result != 0 && d.Result != 1) return '?';
  return d.RequestOpen ? (d.Result == 1 ? 'O' : 'o') : (d.Result == 1 ? 's' : '.');
}

// Events written "C+ F+ F- C-": a key, then + for down or - for up. C and c are left and right
// Ctrl, A a Alt, S s Shift, F is F12, K the key A.
std::string Outcomes(const std::string& events, const HotkeySettings& settings, bool dialogOpen) {
  static const std::map<char, DWORD> codes = {{'C', 162}, {'c', 163}, {'A', 164}, {'a', 165},
                                              {'S', 160}, {'s', 161}, {'F', 123}, {'K', 65}};
  ModifierKeys modifiers;
  std::string outcomes;
  for (std::size_t i = 0; i + 1 < events.size(); i += 3) {
    const DWORD flags = events[i + 1] == '-' ? LLKHF_UP : 0;
    const tillkey::KeyEvent key{codes.at(events[i]), flags};
    outcomes += Outcome(tillkey::DecideKeyEvent(key, modifiers, settings, dialogOpen));
  }
  return outcomes;
}

TEST(HotkeyTrigger, EventsFromAllModifiersUpGetTheirOutcomesInTurn) {
  const HotkeySettings passOn{0, 123, true}, swallow{0, 123, false}, none{3, 123, false};
  const struct {
    HotkeySettings settings;
    bool dialogOpen;
    std::string events;
    std::string outcomes;
  } cases[] = {
      {passOn, false, "C+ F+ F- C-", ".o.."},   // the defaults: Ctrl+F12 asks, passed on
      {swallow, false, "c+ F+ F- c-", ".O.."},  // only the hotkey's key-down is swallowed
      {swallow, false, "C+ F+ F+", ".OO"},      // each auto-repeat asks again
      {swallow, false, "F+ C+ F-", "..."},      // the modifier must be down first
      {swallow, false, "C+ K+ K-", "..."},      // another key with Ctrl
      {swallow, false, "C+ c+ c- F+", "...."},  // both Ctrl keys share one flag
      {swallow, false, "A+ C+ F+", "..O"},      // Ctrl+Alt+F12 counts as Ctrl+F12
      {{1, 123, false}, false, "F+ a+ F+ A- F+", "..O.."},               // Alt, either key
      {{2, 123, false}, false, "F+ S+ F+ s- F+", "..O.."},               // Shift
      {none, false, "F+ C+ F+ C- A+ F+ A- s+ F+ s- F+", "O.........O"},  // only alone
      {{2, 160, false}, false, "S+", "."},  // a modifier is never the hotkey
      {{0, 163, false}, false, "c+", "."},
      {{1, 165, false}, false, "a+", "."},
      {{3, 65, false}, false, "F+ K+ K-", ".O."},           // another hotkey
      {{4, 123, false}, false, "F+ C+ A+ S+ F+", "....."},  // other settings: never
      {{-1, 123, false}, false, "F+ C+ A+ S+ F+", "....."},
      {{INT_MIN, 123, false}, false, "F+ C+ A+ S+ F+", "....."},
      {swallow, true, "C+ F+ F-", ".s."},  // the dialog open: swallowed as set, nothing asked
      {passOn, true, "C+ F+", ".."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.events << " with CtrlAltShiftByte " << c.settings.CtrlAltShiftByte
                 << ", PreKey " << c.settings.PreKey);
    EXPECT_EQ(Outcomes(c.events, c.settings, c.dialogOpen), c.outcomes);
  }
}

TEST(HotkeyTrigger, TheKeyCodeMatchesThePreKeyAsA64BitValueOnAnyKeyDown) {
  const struct {
    DWORD vkCode;
    DWORD flags;
    std::int32_t PreKey;
    char outcome;
  } cases[] = {
      {123, LLKHF_EXTENDED | LLKHF_INJECTED | LLKHF_ALTDOWN, 123, 'O'},  // no LLKHF_UP: down
      {0x100 + 123, 0, 123, '.'},
      {0x7FFFFFFF, 0, INT_MAX, 'O'},
      {0xFFFFFFFF, 0, -1, '.'},
      {0x80000000, 0, INT_MIN, '.'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vkCode);
    ModifierKeys none;
    EXPECT_EQ(
        Outcome(tillkey::DecideKeyEvent({c.vkCode, c.flags}, none, {3, c.PreKey, false}, false)),
        c.outcome);
  }
}

}  // namespace
