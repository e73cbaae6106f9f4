// Case-insensitive matching of names and property values.
#pragma once

#include <string_view>

namespace kestrelwing::detail {

// FoldCase beyond ASCII.
char16_t FoldNonAscii(char16_t c);

// Simple one-to-one lower-case mapping: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
// Inline for the ASCII names and values most documents hold.
inline char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return FoldNonAscii(c);
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix);

}  // namespace kestrelwing::detail
