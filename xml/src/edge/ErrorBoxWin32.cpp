// The failure message on Windows: a message box with the error icon.
#include <windows.h>
// The header below needs windows.h first.
#include <shlwapi.h>

#include <algorithm>
#include <string>

#include "Edge.h"
#include "SystemInfo.h"

namespace kestrelwing::platform {

void ShowError(std::u16string_view message) {
  // The title is the program's own name, as Windows programs title their message boxes.
  std::wstring title = PathFindFileNameW(ProgramPath().c_str());
  title.erase(std::min(title.rfind(L'.'), title.size()));
  const std::wstring text(message.begin(), message.end());
  MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace kestrelwing::platform
