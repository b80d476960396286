// The Windows vocabulary the logic layers speak: window handles and messages, file handles,
// module handles, GUIDs. On Windows it is the SDK's own; elsewhere the same names are declared
// here with the SDK's sizes, so one body of code serves every platform.
#pragma once

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
// The convention of a hook procedure (HOOKPROC).
#define TILL_HOOK_CALL CALLBACK
#else

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using BOOLEAN = std::uint8_t;
using CHAR = char;
using WCHAR = char16_t;
using PCSTR = const char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HANDLE = void*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HINSTANCE__*;
using FARPROC = void (*)();

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using LPGUID = GUID*;

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    } s;
    PVOID Pointer;
  } u;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;
using LPOVERLAPPED_COMPLETION_ROUTINE = void(WINAPI*)(DWORD dwErrorCode,
                                                      DWORD dwNumberOfBytesTransfered,
                                                      LPOVERLAPPED lpOverlapped);
// A routine queued to a thread with QueueUserAPC.
using PAPCFUNC = void(WINAPI*)(ULONG_PTR parameter);
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

// Hooks. A hook procedure has the Windows calling convention wherever it runs: on x86-64 Linux
// the keyboard hook's thunks are called through such pointers, as the system would call them.
struct HHOOK__;
using HHOOK = HHOOK__*;
#if defined(__x86_64__)
#define TILL_HOOK_CALL __attribute__((ms_abi))
#else
#define TILL_HOOK_CALL
#endif
using HOOKPROC = LRESULT(TILL_HOOK_CALL*)(int code, WPARAM wParam, LPARAM lParam);
constexpr int WH_KEYBOARD_LL = 13;
constexpr int HC_ACTION = 0;
struct KBDLLHOOKSTRUCT {
  DWORD vkCode;
  DWORD scanCode;
  DWORD flags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};
static_assert(sizeof(KBDLLHOOKSTRUCT) == 16 + sizeof(ULONG_PTR));
constexpr DWORD LLKHF_EXTENDED = 0x01;
constexpr DWORD LLKHF_INJECTED = 0x10;
constexpr DWORD LLKHF_ALTDOWN = 0x20;
constexpr DWORD LLKHF_UP = 0x80;

// Windows and their procedures.
using WNDPROC = LRESULT(CALLBACK*)(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
struct POINT {
  LONG x;
  LONG y;
};
struct HICON__;
using HICON = HICON__*;
constexpr int GWLP_WNDPROC = -4;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr LPARAM SW_PARENTCLOSING = 1;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// The notification area (shellapi.h). The record is the platform's own, whole; what the shell
// is told of it is its size up to the balloon fields, NOTIFYICONDATAA_V2_SIZE.
constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr DWORD NIM_SETVERSION = 4;
constexpr UINT NIF_MESSAGE = 0x01;
constexpr UINT NIF_ICON = 0x02;
constexpr UINT NIF_TIP = 0x04;
constexpr UINT NIN_SELECT = WM_USER + 0;
constexpr UINT NIN_KEYSELECT = WM_USER + 1;
constexpr UINT NIN_BALLOONSHOW = WM_USER + 2;
constexpr UINT NIN_BALLOONHIDE = WM_USER + 3;
constexpr UINT NIN_BALLOONTIMEOUT = WM_USER + 4;
constexpr UINT NIN_BALLOONUSERCLICK = WM_USER + 5;
struct NOTIFYICONDATAA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  CHAR szInfo[256];
  union {
    UINT uTimeout;
    UINT uVersion;
  };
  CHAR szInfoTitle[64];
  DWORD dwInfoFlags;
  GUID guidItem;
  HICON hBalloonIcon;
};
#define NOTIFYICONDATAA_V2_SIZE offsetof(NOTIFYICONDATAA, guidItem)

// File access.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// Thread access: what QueueUserAPC needs of a thread handle.
constexpr DWORD THREAD_SET_CONTEXT = 0x0010u;

// Waits.
constexpr DWORD WAIT_IO_COMPLETION = 0x000000C0u;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// System error codes the HID layer and its services use.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_PENDING = 997;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

#endif  // _WIN32

// What the shell is told of the record: its size up to the balloon fields, as 64-bit and 32-bit
// Windows each read it. The portable record must agree with the SDK's on both.
static_assert(NOTIFYICONDATAA_V2_SIZE == (sizeof(void*) == 8 ? 504 : 488));
