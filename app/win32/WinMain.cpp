// Kestrelwing.exe: registers the window class, creates FrmMain and runs the message loop.
#include <windows.h>

#include <commctrl.h>

#include "FrmMain.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  const INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&commonControls);

  kestrelwing::FrmMain frmMain;
  if (!kestrelwing::FrmMain::Register(instance) ||
      !frmMain.Create(instance, commandLine ? commandLine : L"", showCommand)) {
    return 1;
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(frmMain.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
