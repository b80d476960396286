// tillkey_driver: what a person and the desktop do to a resident tillkey, from a second process,
// for tests/blackbox/tillkey-blackbox and bench/tillkey. Keys go through SendInput, so they pass
// the low-level keyboard hook as typed ones do; the tray is Wine's own tray window, whose icons
// are its children; everything else is plain window messages. Every wait is bounded.
//
//   keys <vk>[:up] ...               key events in order, a few ms apart
//   tray-icons                       prints the number of visible icons in Wine's tray
//   wait-tray-icons <n> <timeout_ms> waits until there are n; exit 1 on timeout
//   visible <class>                  prints how many top-level windows of that class are visible
//   windows <class>                  prints how many top-level windows of that class exist
//   post <class> <msg> [<wparam>]    posts msg (decimal) to every top-level window of that class
//   post-all <class> <msg>           the same to every top-level window of that window's process
//   endsession                       WM_QUERYENDSESSION to every top-level window of
//                                    TillApplication's process (prints 0 if any refused), then
//                                    WM_ENDSESSION(TRUE)
//   click-tray                       left-clicks the last tray icon
//   menu <caption> [<item>...]       right-clicks the last tray icon and chooses that item; the
//                                    items, "-" for a line, are the menu expected: checked
//                                    against the menu where it can be read, used where it cannot;
//                                    the caption "-" leaves the menu open
//   setup <item> <vk>                in the open setup dialog: chooses the modifier item, captures
//                                    the key in the key field and saves
//   hotkey-times <openlog> <presses> <gap_ms> <modifier_vk> <key_vk>
//                                    presses the hotkey again and again; for each press prints
//                                    "press <key-down us> <log grew us>" on the performance
//                                    counter (microseconds), the log's growth polled every ~1 ms
//
// Exit status: 0 done, 1 the condition or item was not there in time, 2 bad usage or a failed
// system call.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "host/win32/NativeText.h"
#include "tests/WineDesktop.h"

namespace {

using till_testing::ClickAt;
using till_testing::WineTrayIcons;

constexpr DWORD kPollMs = 20;
constexpr DWORD kMenuTimeoutMs = 3000;
// Clicks 8 pixels apart: wider than the double-click rectangle (4 pixels), within a 20-pixel icon.
constexpr LONG kClickSideways = 4;
constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU, the popup menu window's own message

int Usage() {
  std::fputs(
      "usage: tillkey_driver keys <vk>[:up]... | tray-icons | wait-tray-icons <n> <timeout_ms>\n"
      "       | visible <class> | windows <class> | post <class> <msg> [<wparam>]\n"
      "       | post-all <class> <msg> | endsession | click-tray | setup <item> <vk>\n"
      "       | menu <caption> [<item>...] | hotkey-times <openlog> <presses> <gap_ms> <mod_vk> "
      "<key_vk>\n",
      stderr);
  return 2;
}

// A whole decimal number, or false.
bool ParseNumber(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0';
}

std::wstring ClassOf(HWND wnd) {
  wchar_t name[256] = {};
  GetClassNameW(wnd, name, 256);
  return name;
}

// Top-level windows of a class, or (process not 0) of a process.
struct Search {
  std::wstring className;
  DWORD process;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(wnd, &owner);
  if (search->process != 0 ? owner == search->process : ClassOf(wnd) == search->className) {
    search->found.push_back(wnd);
  }
  return TRUE;
}

// Every top-level window of the class, shown or not.
std::vector<HWND> TopLevelWindows(const std::wstring& className) {
  Search search{className, 0, {}};
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Every top-level window of the process that owns the first window of the class.
std::vector<HWND> ProcessWindows(const char* className) {
  const std::vector<HWND> windows = TopLevelWindows(host::win32::Wide(className));
  Search search{{}, 0, {}};
  if (windows.empty() || GetWindowThreadProcessId(windows[0], &search.process) == 0) return {};
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> VisibleTopLevelWindows(const std::wstring& className) {
  std::vector<HWND> visible;
  for (HWND wnd : TopLevelWindows(className)) {
    if (IsWindowVisible(wnd)) visible.push_back(wnd);
  }
  return visible;
}

bool SendKey(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  switch (vk) {
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
      break;
    default:
      break;
  }
  return SendInput(1, &input, sizeof(INPUT)) == 1;
}

double Microseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// The file's size, or -1 when it is missing.
long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Keys(int argc, char** argv) {
  if (argc < 1) return Usage();
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    const bool up = arg.size() > 3 && arg.compare(arg.size() - 3, 3, ":up") == 0;
    if (up) arg.resize(arg.size() - 3);
    long vk = 0;
    if (!ParseNumber(arg.c_str(), vk) || vk <= 0 || vk > 254) return Usage();
    if (!SendKey(static_cast<WORD>(vk), up)) {
      std::fprintf(stderr, "tillkey_driver: SendInput failed (error %lu)\n", GetLastError());
      return 2;
    }
    Sleep(5);  // key events a few ms apart, as typed
  }
  return 0;
}

int WaitTrayIcons(long want, long timeoutMs) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    const std::size_t n = WineTrayIcons().size();
    if (static_cast<long>(n) == want) return 0;
    if (GetTickCount64() >= end) {
      std::fprintf(stderr, "tillkey_driver: %zu tray icons after %ld ms, not %ld\n", n, timeoutMs,
                   want);
      return 1;
    }
    Sleep(kPollMs);
  }
}

int Post(const std::vector<HWND>& windows, long msg, long wParam) {
  if (windows.empty()) {
    std::fprintf(stderr, "tillkey_driver: no window to post to\n");
    return 1;
  }
  for (HWND wnd : windows) {
    if (!PostMessageW(wnd, static_cast<UINT>(msg), static_cast<WPARAM>(wParam), 0)) {
      std::fprintf(stderr, "tillkey_driver: PostMessage failed (error %lu)\n", GetLastError());
      return 2;
    }
  }
  return 0;
}

int EndSession() {
  const std::vector<HWND> windows = ProcessWindows("TillApplication");
  if (windows.empty()) {
    std::fprintf(stderr, "tillkey_driver: no TillApplication window\n");
    return 1;
  }
  // Every window must agree for the session to end.
  bool agreed = true;
  for (HWND wnd : windows) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(wnd, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer)) {
      std::fprintf(stderr, "tillkey_driver: WM_QUERYENDSESSION got no answer in 5 s\n");
      return 1;
    }
    agreed = agreed && answer != 0;
  }
  std::printf("%d\n", agreed ? 1 : 0);
  std::fflush(stdout);
  for (HWND wnd : windows) {
    DWORD_PTR ignored = 0;
    // The program may end, and its windows go, once one of them has been told.
    if (!SendMessageTimeoutW(wnd, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored) &&
        IsWindow(wnd)) {
      std::fprintf(stderr, "tillkey_driver: WM_ENDSESSION was not handled in 5 s\n");
      return 1;
    }
  }
  return 0;
}

HWND WaitVisibleMenu() {
  const ULONGLONG end = GetTickCount64() + kMenuTimeoutMs;
  for (;;) {
    const std::vector<HWND> menus = VisibleTopLevelWindows(L"#32768");
    if (!menus.empty()) return menus.front();
    if (GetTickCount64() >= end) return nullptr;
    Sleep(kPollMs);
  }
}

bool WaitMenuGone(HWND menu) {
  const ULONGLONG end = GetTickCount64() + kMenuTimeoutMs;
  while (IsWindow(menu) && IsWindowVisible(menu)) {
    if (GetTickCount64() >= end) return false;
    Sleep(kPollMs);
  }
  return true;
}

// The menu's items, "-" for a line: read from the menu itself when the system lets this process
// read another's menu (Windows does; Wine refuses with ERROR_INVALID_MENU_HANDLE, its menus being
// the owner's own memory), else the layout the caller expects, if given. False when neither.
bool MenuItems(HWND menu, const std::vector<std::string>& expected, std::vector<std::string>& items,
               std::string& problem) {
  DWORD_PTR handle = 0;
  SendMessageTimeoutW(menu, kGetMenuHandle, 0, 0, SMTO_ABORTIFHUNG, 2000, &handle);
  auto* native = reinterpret_cast<HMENU>(handle);
  SetLastError(0);
  const int count = native != nullptr ? GetMenuItemCount(native) : -1;
  if (count < 0) {
    problem = "the popup menu's items cannot be read from here (menu " +
              std::to_string(static_cast<unsigned long long>(handle)) + ", error " +
              std::to_string(GetLastError()) + ")";
    if (expected.empty()) return false;
    std::fprintf(stderr, "tillkey_driver: %s; choosing by the layout given\n", problem.c_str());
    items = expected;
    return true;
  }
  for (int i = 0; i < count; ++i) {
    if (GetMenuState(native, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) {
      items.emplace_back("-");
      continue;
    }
    wchar_t text[256] = {};
    GetMenuStringW(native, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    items.push_back(host::win32::Narrow(text));
  }
  if (!expected.empty() && items != expected) {
    problem = "the menu does not hold the items expected";
    return false;
  }
  return true;
}

// 0 when the last tray icon was clicked with the button.
int ClickTray(DWORD down, DWORD up) {
  const std::vector<HWND> icons = WineTrayIcons();
  if (icons.empty()) {
    std::fprintf(stderr, "tillkey_driver: no tray icon to click\n");
    return 1;
  }
  RECT r;
  GetWindowRect(icons.back(), &r);
  // Two clicks at one spot within the double-click time make a double click, which shows no
  // menu: each click goes to the other side of the icon's centre from where the pointer is.
  POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  POINT pointer{};
  GetCursorPos(&pointer);
  at.x += pointer.x < at.x ? kClickSideways : -kClickSideways;
  if (!ClickAt(at, down, up)) {
    std::fprintf(stderr, "tillkey_driver: SendInput failed (error %lu)\n", GetLastError());
    return 2;
  }
  return 0;
}

int Menu(const char* caption, const std::vector<std::string>& expected) {
  if (const int clicked = ClickTray(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP)) return clicked;
  HWND menu = WaitVisibleMenu();
  if (menu == nullptr) {
    std::fprintf(stderr, "tillkey_driver: no popup menu within %lu ms of the right click\n",
                 kMenuTimeoutMs);
    return 1;
  }
  if (std::strcmp(caption, "-") == 0) return 0;
  std::vector<std::string> items;
  std::string problem;
  const bool read = MenuItems(menu, expected, items, problem);
  // The item is chosen as a person does with the keyboard: the first Down selects the first item
  // that is not a line, each further Down the next such item, Enter chooses.
  int downs = 0;
  bool found = false;
  std::string seen;
  for (const std::string& item : items) {
    seen += " | " + item;
    if (found || item == "-") continue;
    ++downs;
    found = item == caption;
  }
  if (!read || !found) {
    // Leave no menu open behind: it would hold the next right click.
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    if (!read) {
      std::fprintf(stderr, "tillkey_driver: %s:%s\n", problem.c_str(), seen.c_str());
    } else {
      std::fprintf(stderr, "tillkey_driver: no item \"%s\" in the menu:%s\n", caption,
                   seen.c_str());
    }
    return 1;
  }
  for (int i = 0; i < downs; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  if (!WaitMenuGone(menu)) {
    std::fprintf(stderr, "tillkey_driver: the menu was still open %lu ms after Enter\n",
                 kMenuTimeoutMs);
    return 1;
  }
  return 0;
}

// The open setup dialog: the form window that holds an edit box.
HWND SetupDialog() {
  for (HWND form : VisibleTopLevelWindows(L"TillForm")) {
    if (FindWindowExW(form, nullptr, L"Edit", nullptr) != nullptr) return form;
  }
  return nullptr;
}

int Setup(long item, long vk) {
  HWND dialog = nullptr;
  const ULONGLONG end = GetTickCount64() + kMenuTimeoutMs;
  while ((dialog = SetupDialog()) == nullptr && GetTickCount64() < end) Sleep(kPollMs);
  if (dialog == nullptr) {
    std::fprintf(stderr, "tillkey_driver: no setup dialog\n");
    return 1;
  }
  std::vector<HWND> radios;
  HWND save = nullptr;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const LONG_PTR type = GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK;
    wchar_t text[64] = {};
    GetWindowTextW(child, text, 64);
    if (ClassOf(child) != L"Button") continue;
    if (type == BS_AUTORADIOBUTTON) radios.push_back(child);
    if (std::wcsncmp(text, L"\u05e9\u05de\u05d9\u05e8\u05d4", 5) == 0) save = child;  // "Save"
  }
  if (item < 0 || static_cast<std::size_t>(item) >= radios.size() || save == nullptr) {
    std::fprintf(stderr, "tillkey_driver: the dialog has %zu modifier items and %s save button\n",
                 radios.size(), save != nullptr ? "a" : "no");
    return 1;
  }
  SendMessageW(radios[static_cast<std::size_t>(item)], BM_CLICK, 0, 0);
  // The field takes the key the keyboard hook saw last when a key goes up in it. Wine queues the
  // hook's calls with the input itself, so they come before the release posted here.
  if (!SendKey(static_cast<WORD>(vk), false) || !SendKey(static_cast<WORD>(vk), true)) return 2;
  PostMessageW(FindWindowExW(dialog, nullptr, L"Edit", nullptr), WM_KEYUP, static_cast<WPARAM>(vk),
               0xC0000001);
  PostMessageW(save, BM_CLICK, 0, 0);
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (GetTickCount64() >= end + kMenuTimeoutMs) {
      std::fprintf(stderr, "tillkey_driver: the dialog is still open after saving\n");
      return 1;
    }
    Sleep(kPollMs);
  }
  return 0;
}

int HotkeyTimes(const char* log, long presses, long gapMs, long modifier, long key) {
  const std::wstring path = host::win32::Wide(log);
  constexpr double kOpenTimeoutUs = 3e6;
  for (long press = 0; press < presses; ++press) {
    const long long before = FileSize(path);
    if (!SendKey(static_cast<WORD>(modifier), false)) return 2;
    Sleep(5);
    const double down = Microseconds();
    if (!SendKey(static_cast<WORD>(key), false)) return 2;
    Sleep(5);
    SendKey(static_cast<WORD>(key), true);
    Sleep(5);
    SendKey(static_cast<WORD>(modifier), true);
    double grew = 0;
    for (;;) {
      const double now = Microseconds();
      if (FileSize(path) != before) {
        grew = now;
        break;
      }
      if (now - down > kOpenTimeoutUs) {
        std::fprintf(stderr, "tillkey_driver: press %ld: the drawer did not open within 3 s\n",
                     press + 1);
        return 1;
      }
      Sleep(1);
    }
    std::printf("press %.1f %.1f\n", down, grew);
    std::fflush(stdout);
    // The pause between presses: the opening completes, and the next press falls at another
    // point of the connect timer's period.
    Sleep(static_cast<DWORD>(gapMs + std::rand() % 100));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  long a = 0;
  long b = 0;
  if (command == "keys") return Keys(argc - 2, argv + 2);
  if (command == "tray-icons" && argc == 2) {
    std::printf("%zu\n", WineTrayIcons().size());
    return 0;
  }
  if (command == "wait-tray-icons" && argc == 4 && ParseNumber(argv[2], a) &&
      ParseNumber(argv[3], b)) {
    return WaitTrayIcons(a, b);
  }
  if ((command == "visible" || command == "windows") && argc == 3) {
    const std::wstring className = host::win32::Wide(argv[2]);
    std::printf("%zu\n", command == "visible" ? VisibleTopLevelWindows(className).size()
                                              : TopLevelWindows(className).size());
    return 0;
  }
  if (command == "post" && (argc == 4 || (argc == 5 && ParseNumber(argv[4], b))) &&
      ParseNumber(argv[3], a)) {
    return Post(TopLevelWindows(host::win32::Wide(argv[2])), a, argc == 5 ? b : 0);
  }
  if (command == "post-all" && argc == 4 && ParseNumber(argv[3], a)) {
    return Post(ProcessWindows(argv[2]), a, 0);
  }
  if (command == "endsession" && argc == 2) return EndSession();
  if (command == "click-tray" && argc == 2)
    return ClickTray(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  if (command == "setup" && argc == 4 && ParseNumber(argv[2], a) && ParseNumber(argv[3], b)) {
    return Setup(a, b);
  }
  if (command == "menu" && argc >= 3) return Menu(argv[2], {argv + 3, argv + argc});
  long c = 0;
  long d = 0;
  if (command == "hotkey-times" && argc == 7 && ParseNumber(argv[3], a) &&
      ParseNumber(argv[4], b) && ParseNumber(argv[5], c) && ParseNumber(argv[6], d)) {
    return HotkeyTimes(argv[2], a, b, c, d);
  }
  return Usage();
}
