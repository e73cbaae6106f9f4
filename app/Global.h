// Global: the path and file helpers behind the window's actions.
#pragma once

#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrelwing {

// Characters that separate folders in a path: Windows accepts the slash as well as the backslash.
inline constexpr std::u16string_view kPathSeparators = u"\\/";

// The folder part of path with its trailing separator; path unchanged when it holds no separator
// or ends with one.
std::u16string GetFolderPart(std::u16string_view path);

// The file name of path without its folder and without its last extension.
std::u16string GetBaseName(std::u16string_view path);

#ifdef _WIN32
// Asks the user for a file. True with selectedPath set to the chosen file's full path; false,
// with selectedPath untouched, when the user cancelled or the dialog failed. filter separates
// names and patterns with "|": "Activex objects|*.dll;*.ocx|All files|*.*".
bool ShowOpenDialog(std::u16string& selectedPath, HWND ownerWindow, std::u16string_view dialogTitle,
                    std::u16string_view filter);

// True when a file or folder exists at path.
bool FileExists(std::u16string_view path);
#endif

}  // namespace kestrelwing
