// Case-insensitive matching of names and property values.
#pragma once

#include <string_view>

#include "AsciiCase.h"

namespace kestrelwing::detail {

// FoldCase beyond ASCII.
char16_t FoldNonAscii(char16_t c);

// Simple one-to-one lower-case mapping: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
// The ASCII part is the rule the generator compares registry names by; a document's names and
// values are the user's text in any language, so the library goes beyond it. Inline for the ASCII
// names and values most documents hold.
inline char16_t FoldCase(char16_t c) {
  return c < 0x80 ? AsciiLower(c) : FoldNonAscii(c);
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// EqualsIgnoreCase for texts of ASCII bytes.
inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y && AsciiLower(x) != AsciiLower(y)) return false;
  }
  return true;
}
bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix);

}  // namespace kestrelwing::detail
