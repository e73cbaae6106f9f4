// The parts of a Windows path as the desktop program names them, and as the manifest generator
// must name the files the program looks for.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing {

// The separators of a Windows path (Windows accepts the slash as well as the backslash), and
// those of the system the code runs on.
inline constexpr std::u16string_view kWindowsSeparators = u"\\/";
#ifdef _WIN32
inline constexpr std::u16string_view kSystemSeparators = kWindowsSeparators;
#else
inline constexpr std::u16string_view kSystemSeparators = u"/";
#endif

// Where the file name of path starts: just after its last separator, or 0 when it holds none.
inline std::size_t FileNameStart(std::u16string_view path,
                                 std::u16string_view separators = kWindowsSeparators) {
  const std::size_t separator = path.find_last_of(separators);
  return separator == std::u16string_view::npos ? 0 : separator + 1;
}

// The last part of path, after its folder.
std::u16string GetFileName(std::u16string_view path);

// The file name of path without its folder and without its last extension (".ocx" and ".hidden"
// have an empty base name; "grid." is "grid").
std::u16string GetBaseName(std::u16string_view path);

}  // namespace kestrelwing
