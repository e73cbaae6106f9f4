// Letter case of the registry's names, which Windows compares without it.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing::regsvr42 {

// The text with the ASCII letters in upper case: registry key names, CLSIDs, ProgIDs and
// threading models compare without letter case.
inline std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return upper;
}

// True when a and b are the same text but for the case of ASCII letters.
inline bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return AsciiUpper(a) == AsciiUpper(b);
}

}  // namespace kestrelwing::regsvr42
