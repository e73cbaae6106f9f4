// Global's helpers that call Windows: the file dialog and the existence test.
#include <windows.h>

#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>

#include "Global.h"
#include "WideText.h"

namespace kestrelwing {

bool ShowOpenDialog(std::u16string& selectedPath, HWND ownerWindow, std::u16string_view dialogTitle,
                    std::u16string_view filter) {
  constexpr DWORD kMaxPath = 32767;
  // Name and pattern pairs separated by NULs; c_str() adds the second NUL of the end.
  std::wstring pairs = ToWide(filter);
  std::replace(pairs.begin(), pairs.end(), L'|', L'\0');
  pairs += L'\0';
  std::wstring file(kMaxPath, L'\0');
  const std::wstring title = ToWide(dialogTitle);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(OPENFILENAMEW);
  dialog.hwndOwner = ownerWindow;
  dialog.hInstance = GetModuleHandleW(nullptr);
  dialog.lpstrFilter = pairs.c_str();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kMaxPath;
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) return false;

  selectedPath = FromWide(std::wstring_view(file.c_str()));
  return true;
}

bool FileExists(std::u16string_view path) {
  return PathFileExistsW(ToWide(path).c_str()) != FALSE;
}

}  // namespace kestrelwing
