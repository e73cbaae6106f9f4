// Reading files whole. Paths are UTF-16: the POSIX side hands them to the system as UTF-8, the
// Win32 side uses the wide (W) functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrelwing::platform {

// True when a file or folder exists at path.
bool FileExists(std::u16string_view path);

// The whole content of a regular file; none when it cannot be read (missing, a folder, locked).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path);

}  // namespace kestrelwing::platform
