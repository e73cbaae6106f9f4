// Letter case of ASCII names: registry keys, CLSIDs, ProgIDs, threading models and the markup's
// own keywords, which compare without it.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing {

inline constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

inline constexpr char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The text with the ASCII letters in upper case.
inline std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper)
    c = AsciiUpper(c);
  return upper;
}

// True when a and b are the same text but for the case of ASCII letters.
inline bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return AsciiUpper(a) == AsciiUpper(b);
}

}  // namespace kestrelwing
