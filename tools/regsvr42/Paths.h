// Windows path pieces, taken apart as text (either slash separates folders).
#pragma once

#include <string>

namespace kestrelwing::regsvr42 {

// The folder part without its trailing separator; "." for a bare file name.
std::wstring FolderOf(const std::wstring& path);

// The last part of the path.
std::wstring FileNameOf(const std::wstring& path);

// The file name without its last extension ("grid.ocx" -> "grid"; ".hidden" stays whole).
std::wstring BaseNameOf(const std::wstring& path);

// The path without one pair of surrounding double quotes.
std::wstring Unquoted(const std::wstring& path);

}  // namespace kestrelwing::regsvr42
