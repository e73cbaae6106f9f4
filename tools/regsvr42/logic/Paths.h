// Windows path pieces as the generator names them (the parts themselves: PathParts.h).
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing::regsvr42 {

// The folder part without its trailing separator; "." for a bare file name.
std::wstring FolderOf(const std::wstring& path);

// The assembly a component describes by default, "<base name>.sxs", so that its manifest is the
// file the desktop program looks for: the base name as the program takes it (GetBaseName).
std::u16string DefaultAssemblyName(std::u16string_view componentPath);

// The path without one pair of surrounding double quotes.
std::wstring Unquoted(const std::wstring& path);

}  // namespace kestrelwing::regsvr42
