// Case-insensitive matching of names and property values.
#pragma once

#include <string_view>

namespace kestrelwing::detail {

// Simple one-to-one lower-case mapping: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t FoldCase(char16_t c);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix);

}  // namespace kestrelwing::detail
