// Text between the portable code (std::u16string) and the wide Win32 API (wchar_t, UTF-16 on
// Windows), and the numbers the products put into their messages.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace kestrelwing {

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");
#endif

inline std::wstring ToWide(std::u16string_view text) {
  return {text.begin(), text.end()};
}

inline std::u16string FromWide(std::wstring_view text) {
  return {text.begin(), text.end()};
}

// A number in decimal digits.
inline std::u16string Decimal(std::uint64_t number) {
  char16_t digits[20];
  char16_t* first = std::end(digits);
  do {
    *--first = static_cast<char16_t>(u'0' + number % 10);
    number /= 10;
  } while (number != 0);
  return {first, std::end(digits)};
}

// "0x" and eight upper-case hexadecimal digits, as Windows shows error and exception codes.
inline std::u16string HexCode(std::uint32_t code) {
  std::u16string text = u"0x00000000";
  for (std::size_t i = text.size(); code != 0; code >>= 4) {
    text[--i] = u"0123456789ABCDEF"[code & 0xF];
  }
  return text;
}

}  // namespace kestrelwing
