// Conversions between the Windows wide strings and the u16string text of the manifest model.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelwing::regsvr42 {

inline std::u16string ToU16(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

inline std::wstring ToWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

// The text with the ASCII letters in upper case: registry key names, CLSIDs, ProgIDs and
// threading models compare without letter case.
inline std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return upper;
}

// "0x" and eight upper-case hexadecimal digits, the usual way to show an HRESULT.
inline std::u16string HexCode(std::uint32_t code) {
  std::u16string text = u"0x00000000";
  for (std::size_t i = text.size(); code != 0; code >>= 4) {
    text[--i] = u"0123456789ABCDEF"[code & 0xF];
  }
  return text;
}

}  // namespace kestrelwing::regsvr42
