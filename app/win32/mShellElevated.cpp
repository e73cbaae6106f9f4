#include "mShellElevated.h"

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>

#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing {
namespace {

// Waits until process has ended while dispatching the thread's window messages, so the window
// repaints and answers. A WM_QUIT met meanwhile ends the dispatching; it is posted again once the
// wait is over, for the main loop to see.
void WaitDispatchingMessages(HANDLE process) {
  std::optional<WPARAM> quitCode;
  while (!quitCode) {
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1) return;  // the process ended, or the wait failed
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitCode = message.wParam;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  WaitForSingleObject(process, INFINITE);
  PostQuitMessage(static_cast<int>(*quitCode));
}

}  // namespace

LaunchResult RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                         std::u16string_view directory, std::int32_t showCommand,
                         bool waitForExit) {
  const std::wstring file = ToWide(fileToRun);
  const std::wstring arguments = ToWide(parameters);
  const std::wstring folder = ToWide(directory);

  SHELLEXECUTEINFOW request{};
  request.cbSize = sizeof(SHELLEXECUTEINFOW);
  // Failures come back as the result, never as a dialog of the shell's own.
  request.fMask = SEE_MASK_FLAG_NO_UI | (waitForExit ? SEE_MASK_NOCLOSEPROCESS : 0);
  request.lpVerb = L"runas";
  request.lpFile = file.c_str();
  request.lpParameters = arguments.c_str();
  request.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  request.nShow = showCommand;
  LaunchResult outcome;
  outcome.launched = ShellExecuteExW(&request) != FALSE;
  if (!outcome.launched) outcome.error = static_cast<std::uint32_t>(GetLastError());

  // Without a process (failed launch, or one handed to a running program) there is nothing to wait
  // on.
  const UniqueHandle process(waitForExit ? request.hProcess : nullptr);
  if (process) {
    WaitDispatchingMessages(process.get());
    DWORD code = 0;
    if (GetExitCodeProcess(process.get(), &code)) outcome.exitCode = code;
  }
  return outcome;
}

}  // namespace kestrelwing
