// Global: the window's file helpers that call Windows: the open-file dialog and the existence test.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrelwing {

// Asks the user for a file. True with selectedPath set to the chosen file's full path; false,
// with selectedPath untouched, when the user cancelled or the dialog failed. filter separates
// names and patterns with "|": "Activex objects|*.dll;*.ocx|All files|*.*".
bool ShowOpenDialog(std::u16string& selectedPath, HWND ownerWindow, std::u16string_view dialogTitle,
                    std::u16string_view filter);

// True when a file or folder exists at path.
bool FileExists(std::u16string_view path);

}  // namespace kestrelwing
