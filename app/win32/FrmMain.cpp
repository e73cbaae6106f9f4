#include "FrmMain.h"

#include <commctrl.h>

#include <algorithm>

#include "Actions.h"
#include "Files.h"
#include "Global.h"
#include "Launch.h"
#include "SystemInfo.h"
#include "WideText.h"
#include "mShellElevated.h"

namespace kestrelwing {
namespace {

constexpr wchar_t kWindowClass[] = L"KestrelwingFrmMain";
constexpr wchar_t kPanelClass[] = L"KestrelwingPanel";

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidth = 8025;  // twips
constexpr int kClientHeight = 2220;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// BtnMain(i) carries the command id kBtnMainId + i (clear of IDOK and IDCANCEL, which the dialog
// keys Enter and Escape send).
constexpr WORD kBtnMainId = 100;

enum class Kind { CommandButton, Frame, Panel, TextBox };
using enum Kind;

struct ControlLayout {
  FrmMainControl control;
  Kind kind;
  int container;  // the containing FrmMainControl, or kWindow
  int index;      // the BtnMain index, or -1
  const wchar_t* caption;
  int left, top, width, height;  // twips, relative to the container
  int tabIndex;
};

constexpr int kWindow = -1;

// The window's controls in creation order; a container comes before what it contains. The frame's
// caption is the program's own text, misspelling included, as users and screenshots know it.
// clang-format off
constexpr ControlLayout kLayout[FrmMainControlCount] = {
  // control  kind           container BtnMain       caption             left   top width height tab
  {BtnMain1, CommandButton, kWindow,  BtnGenerate,   L"Generar SxS",      3600, 1440, 1335, 495, 6},
  {BtnMain2, CommandButton, kWindow,  BtnRegister,   L"Registrar",         240, 1440, 1575, 495, 5},
  {BtnMain3, CommandButton, kWindow,  BtnUnregister, L"Desregistrar",     1920, 1440, 1575, 495, 4},
  {Frame1,   Frame,         kWindow,  -1,            L"Axtivex DLL/ OCX",  240,  240, 7575, 855, 0},
  {Picture1, Panel,         Frame1,   -1,            L"",                  120,  240, 7335, 495, 1},
  {BtnMain0, CommandButton, Picture1, BtnBrowse,     L"...",              6600,   60,  735, 375, 3},
  {Txt0,     TextBox,       Picture1, -1,            L"",                    0,  120, 6495, 285, 2},
};
// clang-format on

constexpr bool RowsAreInControlOrder() {
  for (int i = 0; i < FrmMainControlCount; ++i) {
    if (kLayout[i].control != i || kLayout[i].container >= i) return false;
  }
  return true;
}
static_assert(RowsAreInControlOrder(),
              "kLayout[i] describes FrmMainControl i, after its container");

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD extendedStyle;
};

ControlClass ClassOf(Kind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case Kind::CommandButton:
      return {WC_BUTTONW, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::Frame:
      return {WC_BUTTONW, kChild | WS_CLIPCHILDREN | BS_GROUPBOX, WS_EX_CONTROLPARENT};
    case Kind::Panel:
      return {kPanelClass, kChild | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    case Kind::TextBox:
      return {WC_EDITW, kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
  }
  return {};
}

// A plain container. Its controls notify it; it passes their notifications on to the main window.
LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetAncestor(panel, GA_ROOT), message, wParam, lParam);
    default:
      return DefWindowProcW(panel, message, wParam, lParam);
  }
}

UniqueFont CreateTahoma(int dpi, LONG weight) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(825, dpi, 72 * 100);  // 8.25 points
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&font));
}

// The program's title as the window and its boxes show it.
const std::wstring& Title() {
  static const std::wstring title = ToWide(kProgramTitle);
  return title;
}

int ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

bool FrmMain::Register(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) return false;

  windowClass.lpfnWndProc = PanelProc;
  windowClass.hIcon = nullptr;
  windowClass.lpszClassName = kPanelClass;
  return RegisterClassExW(&windowClass) != 0;
}

bool FrmMain::Create(HINSTANCE instance, std::wstring commandLine, int showCommand) {
  instance_ = instance;
  commandLine_ = std::move(commandLine);
  // The program is DPI aware (its manifest says so): the system DPI sizes everything.
  dpi_ = ScreenDpi();
  RECT frame{0, 0, Pixels(kClientWidth), Pixels(kClientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const HWND window = CreateWindowExW(0, kWindowClass, Title().c_str(), kWindowStyle, CW_USEDEFAULT,
                                      CW_USEDEFAULT, frame.right - frame.left,
                                      frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (!window) return false;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return true;
}

int FrmMain::Pixels(int twips) const {
  return MulDiv(twips, dpi_, kTwipsPerInch);
}

LRESULT CALLBACK FrmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FrmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT FrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(LOWORD(lParam))) return TRUE;
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

bool FrmMain::OnCreate() {
  font_ = CreateTahoma(dpi_, FW_NORMAL);
  boldFont_ = CreateTahoma(dpi_, FW_BOLD);
  if (!CreateControls()) return false;
  OnLoad(*this, FromWide(commandLine_));
  return true;
}

void FrmMain::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED || id < kBtnMainId || id > kBtnMainId + BtnUnregister) return;
  actions_.OnBtnMainClick(static_cast<std::int16_t>(id - kBtnMainId));
}

void FrmMain::OnClose() {
  // During an action the window stays until the action is over; it closes itself then if the
  // user so chose.
  if (actions_.OnCloseRequest()) DestroyWindow(window_);
}

bool FrmMain::OnSetCursor(WORD hitTest) {
  // A disabled button passes the mouse on to its container, so this covers the controls too.
  if (!busy_ || hitTest != HTCLIENT) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

void FrmMain::RefreshCursor() const {
  POINT point{};
  if (!GetCursorPos(&point)) return;
  const HWND under = WindowFromPoint(point);
  if (under != window_ && !IsChild(window_, under)) return;
  const auto hitTest = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
  SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
               MAKELPARAM(static_cast<WORD>(hitTest), WM_MOUSEMOVE));
}

void FrmMain::OnActivate(WORD state) {
  // Keyboard focus leaves with the window and comes back to the same control.
  if (state == WA_INACTIVE) {
    focused_ = GetFocus();
  } else {
    SetFocus(focused_ && IsChild(window_, focused_) ? focused_ : controls_[Txt0]);
  }
}

bool FrmMain::CreateControls() {
  for (int i = 0; i < FrmMainControlCount; ++i) {
    const ControlLayout& layout = kLayout[i];
    const ControlClass controlClass = ClassOf(layout.kind);
    const HWND container = layout.container == kWindow ? window_ : controls_[layout.container];
    const auto id = static_cast<UINT_PTR>(layout.index >= 0 ? kBtnMainId + layout.index : 0);
    const HWND control = CreateWindowExW(
        controlClass.extendedStyle, controlClass.name, layout.caption, controlClass.style,
        Pixels(layout.left), Pixels(layout.top), Pixels(layout.width), Pixels(layout.height),
        container, reinterpret_cast<HMENU>(id), instance_, nullptr);
    if (!control) return false;
    const HFONT font = layout.kind == Kind::Frame ? boldFont_.get() : font_.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controls_[i] = control;
  }

  // Focus moves through the controls in Z order: stack them by tab index.
  std::array<int, FrmMainControlCount> byTabIndex{};
  for (int i = 0; i < FrmMainControlCount; ++i)
    byTabIndex[i] = i;
  std::ranges::sort(byTabIndex, {}, [](int i) { return kLayout[i].tabIndex; });
  for (const int i : byTabIndex) {
    SetWindowPos(controls_[i], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return true;
}

std::u16string FrmMain::PathText() const {
  return FromWide(WindowText(controls_[Txt0]));
}

void FrmMain::SetPathText(std::u16string text) {
  SetWindowTextW(controls_[Txt0], ToWide(text).c_str());
}

bool FrmMain::ShowOpenDialog(std::u16string& selectedPath, std::u16string_view dialogTitle,
                             std::u16string_view filter) {
  return kestrelwing::ShowOpenDialog(selectedPath, window_, dialogTitle, filter);
}

LaunchResult FrmMain::RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                                  std::u16string_view directory, ShowCommand showCommand,
                                  bool waitForExit) {
  return kestrelwing::RunElevated(fileToRun, parameters, directory, showCommand, waitForExit);
}

bool FrmMain::FileExists(std::u16string_view path) const {
  return kestrelwing::FileExists(path);
}

std::optional<FileStamp> FrmMain::StampOf(std::u16string_view path) const {
  return kestrelwing::StampOf(ToWide(path));
}

void FrmMain::ShowMessage(std::u16string_view text, MessageIcon icon) {
  const UINT style = icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  // A close waits for the action, so the window is there; were it gone, the box has no owner.
  const HWND owner = IsWindow(window_) ? window_ : nullptr;
  MessageBoxW(owner, ToWide(text).c_str(), Title().c_str(), MB_OK | style);
}

bool FrmMain::AskYesNo(std::u16string_view question) {
  return MessageBoxW(window_, ToWide(question).c_str(), Title().c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void FrmMain::ShowBusy(bool busy, std::u16string_view caption) {
  if (busy == busy_) return;
  busy_ = busy;
  const std::array<HWND, 4> buttons = {controls_[BtnMain0], controls_[BtnMain1],
                                       controls_[BtnMain2], controls_[BtnMain3]};
  if (busy) {
    // A disabled control cannot keep the keyboard focus: the path box takes it meanwhile.
    focusedBeforeBusy_ = GetFocus();
    if (std::ranges::find(buttons, focusedBeforeBusy_) != buttons.end()) {
      SetFocus(controls_[Txt0]);
    }
  }
  for (const HWND button : buttons) {
    EnableWindow(button, busy ? FALSE : TRUE);
  }
  SendMessageW(controls_[Txt0], EM_SETREADONLY, busy ? TRUE : FALSE, 0);
  SetWindowTextW(window_, ToWide(caption).c_str());
  if (!busy && focusedBeforeBusy_ && IsChild(window_, focusedBeforeBusy_)) {
    if (GetActiveWindow() == window_) {
      SetFocus(focusedBeforeBusy_);
    } else {
      focused_ = focusedBeforeBusy_;  // where OnActivate puts it back
    }
  }
  RefreshCursor();
}

void FrmMain::CloseWindow() {
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

std::optional<std::u16string> FrmMain::CreateTemporaryFile() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  folder.resize(GetTempPathW(static_cast<DWORD>(folder.size()), folder.data()));
  if (folder.empty() || folder.size() > MAX_PATH - 14) return std::nullopt;
  // A new name in that folder, made as an empty file so that no other run takes it.
  std::wstring file(MAX_PATH, L'\0');
  if (!GetTempFileNameW(folder.c_str(), L"kws", 0, file.data())) return std::nullopt;
  return FromWide(std::wstring_view(file.c_str()));
}

std::u16string FrmMain::ProgramFolder() const {
  const std::wstring path = ProgramPath();
  return FromWide(std::wstring_view(path).substr(0, path.find_last_of(L'\\')));
}

}  // namespace kestrelwing
