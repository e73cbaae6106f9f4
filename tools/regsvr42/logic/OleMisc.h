// OLEMISC status bits and the names a manifest's miscStatus attributes give them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelwing::regsvr42 {

struct OleMiscNames {
  std::u16string names;           // comma-separated, lowest bit first; empty for 0
  std::uint32_t unknownBits = 0;  // bits that have no name
};

OleMiscNames NameOleMisc(std::uint32_t bits);

// A MiscStatus registry value: decimal digits, or hexadecimal after "0x". None when malformed.
std::optional<std::uint32_t> ParseOleMisc(std::u16string_view text);

}  // namespace kestrelwing::regsvr42
