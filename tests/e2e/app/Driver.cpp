// KwDriver.exe: drives a running Kestrelwing window for the end-to-end tests, run under the same
// Wine prefix. Finds windows by title and controls by caption or class; clicks are posted, so a
// click that opens a modal box does not block the driver. The main window TITLE is the one
// captioned TITLE, or TITLE followed by " - " and what it is busy with.
//
//   KwDriver wait TITLE                  wait until the main window TITLE is shown
//   KwDriver caption TITLE               print the main window's caption
//   KwDriver point TITLE CONTROL         print the screen position of the centre of the control
//                                        whose caption, or else class, is CONTROL
//   KwDriver text TITLE                  print the text of the window's edit box
//   KwDriver set-text TITLE TEXT         replace the text of the window's edit box
//   KwDriver click TITLE CAPTION         click the button CAPTION
//   KwDriver message TITLE               wait for a message box captioned TITLE, print its icon
//                                        ("error", "information" or "other") and its text on two
//                                        lines, and press its OK button
//   KwDriver answer TITLE yes|no         wait for a question box captioned TITLE, print its text
//                                        and press Yes or No
//   KwDriver no-message TITLE MS         fail if a message box captioned TITLE shows within MS
//   KwDriver cancel-dialog TITLE         wait for a dialog owned by the main window TITLE that
//                                        is not a message box, print its title, press Cancel
//   KwDriver client-size TITLE           print the client area's width and height in pixels and
//                                        the display's DPI
//   KwDriver layout TITLE                print one line per control, in tab order among
//                                        siblings: caption (or class when it has none), then
//                                        left, top, width and height in pixels relative to its
//                                        container, then "tab" when it is a tab stop,
//                                        "disabled" when it is disabled and "readonly" for a
//                                        read-only edit box
//   KwDriver close TITLE                 close the main window and wait until it is gone
//   KwDriver close-request TITLE         ask the main window to close (WM_CLOSE), without waiting
//   KwDriver resources EXE               print the version information of EXE ("name=value" lines,
//                                        "language=" its translation) and its application manifest
//
// Exit code 0 on success, 1 on a failure or a timeout (10 s), 2 on bad usage.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Utf8.h"

namespace {

constexpr auto kTimeout = std::chrono::seconds(10);
constexpr wchar_t kDialogClass[] = L"#32770";

void Print(std::wstring_view text) {
  const std::string utf8 = Utf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Fail(std::wstring_view what) {
  std::fwprintf(stderr, L"KwDriver: %.*ls\n", static_cast<int>(what.size()), what.data());
  return 1;
}

// Sends a message and waits at most 5 s for the answer, so that a window that no longer answers
// makes the driver fail instead of hang. Exits with 1 on a timeout.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &answer)) {
    std::fwprintf(stderr, L"KwDriver: the window does not answer\n");
    std::exit(1);
  }
  return static_cast<LRESULT>(answer);
}

std::wstring TextOf(HWND window) {
  // WM_GETTEXT reaches into another process's edit box, where GetWindowText would not.
  const auto length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

bool IsDialog(HWND window) {
  return ClassOf(window) == kDialogClass;
}

// Collects every window that an enumeration hands it.
BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// The visible top-level windows for which accept answers true.
std::vector<HWND> TopLevelWindows(const std::function<bool(HWND)>& accept) {
  std::vector<HWND> all;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> found;
  for (const HWND window : all) {
    if (IsWindowVisible(window) && accept(window)) found.push_back(window);
  }
  return found;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Polls find until it answers a window or the timeout passes.
HWND WaitFor(const std::function<HWND()>& find, std::chrono::milliseconds timeout = kTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const HWND window = find()) return window;
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

HWND MainWindow(std::wstring_view title) {
  const auto windows = TopLevelWindows([&](HWND window) {
    if (IsDialog(window)) return false;
    const std::wstring caption = TextOf(window);
    return caption == title ||
           (caption.starts_with(title) && caption.substr(title.size()).starts_with(L" - "));
  });
  return windows.empty() ? nullptr : windows.front();
}

HWND MessageBoxWindow(std::wstring_view title) {
  const auto windows =
      TopLevelWindows([&](HWND window) { return IsDialog(window) && TextOf(window) == title; });
  return windows.empty() ? nullptr : windows.front();
}

HWND Control(HWND parent, const std::function<bool(HWND)>& accept) {
  for (const HWND child : Descendants(parent)) {
    if (accept(child)) return child;
  }
  return nullptr;
}

HWND EditBox(HWND window) {
  return Control(window, [](HWND child) { return _wcsicmp(ClassOf(child).c_str(), L"Edit") == 0; });
}

void PostClick(HWND button) {
  const auto id = static_cast<WORD>(GetDlgCtrlID(button));
  PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

// The text of a message box: its static control that is not the icon.
std::wstring BoxText(HWND box) {
  for (const HWND child : Descendants(box)) {
    const auto style = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (ClassOf(child) == L"Static" && style != SS_ICON && !TextOf(child).empty()) {
      return TextOf(child);
    }
  }
  return {};
}

// The icon a message box shows, told by its colour on the screen: the error icon is red, the
// information icon blue (icon handles cannot be compared between processes).
std::wstring IconName(HWND box) {
  const HWND icon = Control(box, [](HWND child) {
    return ClassOf(child) == L"Static" &&
           (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  });
  if (!icon) return L"none";
  RECT area{};
  GetWindowRect(icon, &area);
  const HDC screen = GetDC(nullptr);
  long long red = 0;
  long long blue = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const COLORREF colour = GetPixel(screen, x, y);
      if (colour == CLR_INVALID) continue;
      red += GetRValue(colour);
      blue += GetBValue(colour);
    }
  }
  ReleaseDC(nullptr, screen);
  const long long pixels =
      static_cast<long long>(area.right - area.left) * (area.bottom - area.top);
  const long long margin = 20 * (pixels > 0 ? pixels : 1);  // a clear tint, not noise
  if (red > blue + margin) return L"error";
  if (blue > red + margin) return L"information";
  return L"other";
}

// The controls below parent, depth first, siblings in Z order (the order of keyboard focus).
void PrintLayout(HWND parent) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT area{};
    GetWindowRect(child, &area);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
    const std::wstring caption = TextOf(child);
    const auto style = GetWindowLongW(child, GWL_STYLE);
    const bool readOnly =
        _wcsicmp(ClassOf(child).c_str(), L"Edit") == 0 && (style & ES_READONLY) != 0;
    Print((caption.empty() ? ClassOf(child) : caption) + L"|" + std::to_wstring(area.left) + L" " +
          std::to_wstring(area.top) + L" " + std::to_wstring(area.right - area.left) + L" " +
          std::to_wstring(area.bottom - area.top) + ((style & WS_TABSTOP) ? L" tab" : L"") +
          (IsWindowEnabled(child) ? L"" : L" disabled") + (readOnly ? L" readonly" : L""));
    PrintLayout(child);
  }
}

int PrintResources(const std::wstring& program) {
  DWORD ignored = 0;
  std::vector<std::uint8_t> version(GetFileVersionInfoSizeW(program.c_str(), &ignored));
  if (version.empty() || !GetFileVersionInfoW(program.c_str(), 0,
                                              static_cast<DWORD>(version.size()), version.data())) {
    return Fail(L"no version information");
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  if (VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size)) {
    Print(L"fixed=" + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
          std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
          std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
          std::to_wstring(LOWORD(fixed->dwFileVersionLS)));
  }
  WORD* translation = nullptr;
  if (!VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &size) ||
      size < 2 * sizeof(WORD)) {
    return Fail(L"no translation");
  }
  wchar_t block[16];
  swprintf(block, 16, L"%04X%04X", translation[0], translation[1]);
  Print(std::wstring(L"language=") + block);
  for (const wchar_t* name : {L"ProductName", L"InternalName", L"OriginalFilename",
                              L"FileDescription", L"FileVersion", L"ProductVersion"}) {
    wchar_t* value = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    if (VerQueryValueW(version.data(), key.c_str(), reinterpret_cast<void**>(&value), &size)) {
      Print(std::wstring(name) + L"=" + value);
    }
  }

  const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HRSRC manifest = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
  if (!manifest) return Fail(L"no application manifest");
  const auto* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  std::fwrite(text, 1, SizeofResource(module, manifest), stdout);
  std::fflush(stdout);
  FreeLibrary(module);
  return 0;
}

int Run(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return 2;
  const std::wstring& command = args[0];
  const std::wstring& title = args[1];
  if (command == L"resources") return PrintResources(args[1]);

  if (command == L"answer" && args.size() >= 3) {
    const HWND box = WaitFor([&] { return MessageBoxWindow(title); });
    if (!box) return Fail(L"no question box " + title);
    const WORD button = args[2] == L"yes" ? IDYES : IDNO;
    if (!GetDlgItem(box, button)) return Fail(L"the box has no button " + args[2]);
    Print(BoxText(box));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return WaitFor([&] { return IsWindow(box) ? nullptr : GetDesktopWindow(); })
               ? 0
               : Fail(L"box stays");
  }
  if (command == L"message") {
    const HWND box = WaitFor([&] { return MessageBoxWindow(title); });
    if (!box) return Fail(L"no message box " + title);
    const std::wstring text = BoxText(box);
    // The box may not be painted yet when it is found.
    std::wstring icon = IconName(box);
    for (int attempt = 0; attempt < 40 && icon == L"other"; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      icon = IconName(box);
    }
    Print(icon);
    Print(text);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return WaitFor([&] { return IsWindow(box) ? nullptr : GetDesktopWindow(); })
               ? 0
               : Fail(L"box stays");
  }
  if (command == L"no-message") {
    if (args.size() < 3) return 2;
    const auto wait = std::chrono::milliseconds(std::stoi(args[2]));
    const HWND box = WaitFor([&] { return MessageBoxWindow(title); }, wait);
    if (!box) return 0;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return Fail(L"unexpected message box");
  }

  const HWND window = WaitFor([&] { return MainWindow(title); });
  if (!window) return Fail(L"no window " + title);

  if (command == L"wait") return 0;
  if (command == L"caption") {
    Print(TextOf(window));
    return 0;
  }
  if (command == L"point" && args.size() >= 3) {
    const HWND control = Control(window, [&](HWND child) {
      return TextOf(child) == args[2] || _wcsicmp(ClassOf(child).c_str(), args[2].c_str()) == 0;
    });
    if (!control) return Fail(L"no control " + args[2]);
    RECT area{};
    GetWindowRect(control, &area);
    Print(std::to_wstring((area.left + area.right) / 2) + L" " +
          std::to_wstring((area.top + area.bottom) / 2));
    return 0;
  }
  if (command == L"close-request") {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == L"text") {
    const HWND edit = EditBox(window);
    if (!edit) return Fail(L"no edit box");
    Print(TextOf(edit));
    return 0;
  }
  if (command == L"set-text" && args.size() >= 3) {
    const HWND edit = EditBox(window);
    if (!edit) return Fail(L"no edit box");
    Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()));
    return TextOf(edit) == args[2] ? 0 : Fail(L"text not set");
  }
  if (command == L"click" && args.size() >= 3) {
    const HWND button = Control(window, [&](HWND child) {
      return _wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && TextOf(child) == args[2];
    });
    if (!button) return Fail(L"no button " + args[2]);
    PostClick(button);
    return 0;
  }
  if (command == L"cancel-dialog") {
    const HWND dialog = WaitFor([&] {
      const auto windows = TopLevelWindows([&](HWND candidate) {
        return IsDialog(candidate) && GetWindow(candidate, GW_OWNER) == window &&
               TextOf(candidate) != title;
      });
      return windows.empty() ? nullptr : windows.front();
    });
    if (!dialog) return Fail(L"no dialog");
    Print(TextOf(dialog));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return WaitFor([&] { return IsWindow(dialog) ? nullptr : GetDesktopWindow(); })
               ? 0
               : Fail(L"dialog stays");
  }
  if (command == L"client-size") {
    RECT client{};
    GetClientRect(window, &client);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    Print(std::to_wstring(client.right) + L" " + std::to_wstring(client.bottom) + L" " +
          std::to_wstring(dpi));
    return 0;
  }
  if (command == L"layout") {
    PrintLayout(window);
    return 0;
  }
  if (command == L"close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitFor([&] { return IsWindow(window) ? nullptr : GetDesktopWindow(); })
               ? 0
               : Fail(L"window stays");
  }
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  const int result = Run(args);
  if (result == 2) Fail(L"bad usage; see the comment at the top of Driver.cpp");
  return result;
}
