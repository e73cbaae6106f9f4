// Simple one-to-one lower-casing for the scripts that names and property values are likely to use.
#include "CaseFold.h"

#include <cstddef>

namespace kestrelwing::detail {
namespace {

// In most of the blocks below upper and lower case alternate: the upper-case letter sits on an
// even code point (or an odd one) and its lower-case partner right after it.
constexpr char16_t NextIfEven(char16_t c) {
  return (c % 2 == 0) ? static_cast<char16_t>(c + 1) : c;
}
constexpr char16_t NextIfOdd(char16_t c) {
  return (c % 2 == 1) ? static_cast<char16_t>(c + 1) : c;
}
constexpr char16_t Shift(char16_t c, int by) {
  return static_cast<char16_t>(c + by);
}

// U+0100..U+017F.
constexpr char16_t FoldLatinExtendedA(char16_t c) {
  if (c == 0x0130) return u'i';    // capital I with dot above
  if (c == 0x0178) return 0x00FF;  // capital Y with diaeresis
  if (c <= 0x012F || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177)) {
    return NextIfEven(c);
  }
  if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) return NextIfOdd(c);
  return c;  // dotless i, kra, n preceded by apostrophe, long s: lower case already
}

// U+0370..U+03FF.
constexpr char16_t FoldGreek(char16_t c) {
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return Shift(c, 32);  // Alpha..Upsilon dialytika
  if (c >= 0x0388 && c <= 0x038A) return Shift(c, 37);                 // Epsilon..Iota tonos
  if (c >= 0x038E && c <= 0x038F) return Shift(c, 63);                 // Upsilon, Omega tonos
  if (c >= 0x03FD) return Shift(c, -130);                              // reversed lunate sigmas
  if ((c >= 0x0370 && c <= 0x0373) || c == 0x0376 || (c >= 0x03D8 && c <= 0x03EF)) {
    return NextIfEven(c);
  }
  switch (c) {
    case 0x037F:
      return 0x03F3;  // capital yot
    case 0x0386:
      return 0x03AC;  // Alpha tonos
    case 0x038C:
      return 0x03CC;  // Omicron tonos
    case 0x03CF:
      return 0x03D7;  // kai symbol
    case 0x03F4:
      return 0x03B8;  // capital theta symbol
    case 0x03F7:
      return 0x03F8;  // sho
    case 0x03F9:
      return 0x03F2;  // lunate sigma
    case 0x03FA:
      return 0x03FB;  // san
    default:
      return c;
  }
}

// U+0400..U+052F (Cyrillic and Cyrillic Supplement).
constexpr char16_t FoldCyrillic(char16_t c) {
  if (c <= 0x040F) return Shift(c, 80);  // Ie with grave..Dzhe
  if (c <= 0x042F) return Shift(c, 32);  // A..Ya
  if (c == 0x04C0) return 0x04CF;        // palochka
  if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || c >= 0x04D0) {
    return NextIfEven(c);
  }
  if (c >= 0x04C1 && c <= 0x04CE) return NextIfOdd(c);
  return c;
}

}  // namespace

char16_t FoldNonAscii(char16_t c) {
  if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? Shift(c, 32) : c;
  if (c < 0x180) return FoldLatinExtendedA(c);
  if (c >= 0x370 && c < 0x400) return FoldGreek(c);
  if (c >= 0x400 && c < 0x530) return FoldCyrillic(c);
  return c;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace kestrelwing::detail
