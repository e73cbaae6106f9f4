// The parts of a Windows path as the desktop program names them, and as the manifest generator
// must name the files the program looks for.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing {

// Where the file name of path starts: just after its last separator (Windows accepts the slash as
// well as the backslash), or 0 when it holds none.
std::size_t FileNameStart(std::u16string_view path);

// The last part of path, after its folder.
std::u16string GetFileName(std::u16string_view path);

// The file name of path without its folder and without its last extension (".ocx" and ".hidden"
// have an empty base name; "grid." is "grid").
std::u16string GetBaseName(std::u16string_view path);

}  // namespace kestrelwing
