// The drawer conversation, the open sequence and the result file.
#pragma once

#include <string>

#include "host/WinDefs.h"

namespace public_u {

struct T_global_vars {
  BYTE DrawerError = 0;  // outcome of the last command: 0, 1, 2, 3 or 5
  bool OpenRequested = false;
};
extern T_global_vars global_vars;
extern bool OpenBusy;

// The protocol's waits pump the message loop around Timer1.
void TimerDelay(UINT milliseconds);
bool SendDrawerCommand(const BYTE (&Command)[3], BYTE (&Reply)[5]);
bool WaitDrawerReply(BYTE SentCheck, BYTE (&Reply)[5]);
bool WriteDrawerMemory(BYTE Address, BYTE Value);

// What a DrawerError code says, in words.
const char* DrawerErrorMeaning(BYTE error);

// The open sequence.
bool ScanForDrawer();
bool FindDrawer();
bool OpenDrawer();
void OpenDrawerGuarded();

// The result file beside the executable and the one command-line switch.
bool ResultFileWanted();
std::string ResultFileName();
// The result file's name for a program at `exeName`: its folder, one delimiter, DEDORO.TXT.
std::string ResultFileNameFor(const std::string& exeName);
void EraseResultFile();
void WriteResultFile(const std::string& Text);

inline constexpr BYTE kDrawerOpenAddress = 79;
inline constexpr BYTE kDrawerOpenValue = 0;

}  // namespace public_u
