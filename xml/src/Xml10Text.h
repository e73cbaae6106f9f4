// The characters of an XML 1.0 document: its bytes decoded as its byte-order mark or encoding
// declaration says, its line ends normalized, and every character checked to be one XML allows;
// and the classes of name characters.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Compiler.h"

namespace kestrelwing::detail {

// What went wrong while the text was made ready, at offset in the text as far as it was decoded
// (for an undecodable byte, the offset its character would have had).
struct Xml10TextError {
  std::size_t offset;
  std::u16string what;
  std::u16string_view rule;
};

// Characters in a block taken without being cleared first, the first size() of them in use.
class UnitBuffer {
 public:
  explicit UnitBuffer(std::size_t capacity = 0);
  explicit UnitBuffer(std::u16string_view text) : UnitBuffer(text.size()) {
    std::copy(text.begin(), text.end(), units_.get());
    size_ = text.size();
  }
  char16_t* data() { return units_.get(); }
  std::size_t size() const { return size_; }
  // Never past the capacity the buffer was made with.
  void resize(std::size_t size) { size_ = size; }
  std::u16string_view view() const { return {units_.get(), size_}; }

 private:
  struct Free {
    void operator()(char16_t* units) const noexcept;
  };
  std::unique_ptr<char16_t[], Free> units_;
  std::size_t size_ = 0;
};

struct Xml10Text {
  UnitBuffer text;          // line ends normalized to LF, every character legal
  std::int32_t encodingId;  // how Save writes the document back by default
  bool failed = false;
  Xml10TextError error;  // when failed
};

// Decodes a document's bytes: a byte-order mark (UTF-8, UTF-16 either way) decides, else
// UTF-16 without a mark when the bytes start with "<?" in it, else the encoding the declaration
// names (UTF-8 when none; ISO-8859-1, US-ASCII and windows-1252 are known besides UTF-8 and
// UTF-16). Malformed bytes and an encoding no decoder exists for are fatal errors.
Xml10Text DecodeXml10(std::span<const std::uint8_t> bytes);
// Text handed over as characters: only line ends and character legality are dealt with.
Xml10Text PrepareXml10(std::u16string_view text);

// Name characters (the Name production), over UTF-16: a character from U+10000 is a surrogate
// pair, and names take every one up to U+EFFFF.
enum : std::uint8_t { kXmlNameStartClass = 1, kXmlNameClass = 2 };
// The classes of the ASCII characters.
inline constexpr std::array<std::uint8_t, 128> kAsciiNameClasses = [] {
  std::array<std::uint8_t, 128> table{};
  for (char16_t c = u'a'; c <= u'z'; ++c)
    table[c] = table[c - 32] = kXmlNameStartClass | kXmlNameClass;
  for (char16_t c = u'0'; c <= u'9'; ++c)
    table[c] = kXmlNameClass;
  table[u':'] = table[u'_'] = kXmlNameStartClass | kXmlNameClass;
  table[u'-'] = table[u'.'] = kXmlNameClass;
  return table;
}();
// Past the ASCII name characters of the n units at text from i on, eight at a step where SSE2 is
// there; stops early, never late.
inline std::size_t AsciiNameRun([[maybe_unused]] const char16_t* text,
                                [[maybe_unused]] std::size_t n, std::size_t i) {
#ifdef KESTRELWING_SSE2
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  // units - first < count, unsigned, as a signed comparison with the top bits flipped
  const auto below = [&flip](__m128i units, char16_t first, int count) {
    return _mm_cmplt_epi16(
        _mm_xor_si128(_mm_sub_epi16(units, _mm_set1_epi16(static_cast<short>(first))), flip),
        _mm_set1_epi16(static_cast<short>(count ^ 0x8000)));
  };
  for (; WideScanning() && i + 8 <= n; i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i lower = _mm_or_si128(block, _mm_set1_epi16(0x20));  // letters folded
    const __m128i name = _mm_or_si128(
        _mm_or_si128(below(lower, u'a', 26), below(block, u'-', 14)),  // "-./0123456789:"
        _mm_cmpeq_epi16(block, _mm_set1_epi16(u'_')));
    const __m128i slash = _mm_cmpeq_epi16(block, _mm_set1_epi16(u'/'));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(slash, name)));
    if (mask != 0xFFFF) return i + static_cast<std::size_t>(std::countr_one(mask)) / 2;
  }
#endif
  return i;
}
// The length of the name of ASCII characters at the start of the n units at text (0 when none
// starts there), a unit at a time: names are short (a block of eight at a step costs more than
// it saves), and nearly always ASCII. A name that goes on with other
// characters is not complete at the answer (text[answer] >= 0x80).
inline std::size_t AsciiNamePrefix(const char16_t* text, std::size_t n, bool nameToken) {
  const std::uint8_t first = nameToken ? kXmlNameClass : kXmlNameStartClass;
  if (n == 0 || text[0] >= 0x80 || (kAsciiNameClasses[text[0]] & first) == 0) return 0;
  std::size_t i = 1;
  while (i < n && text[i] < 0x80 && (kAsciiNameClasses[text[i]] & kXmlNameClass) != 0)
    ++i;
  return i;
}
bool IsXmlNameStart(char16_t c);
bool IsXmlNameChar(char16_t c);
inline bool IsXmlSpace(char16_t c) {
  return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r';
}
// The length of the name at the start of text (0 when it does not start with one). With
// nameToken the first character may be any name character (the Nmtoken production).
std::size_t XmlNameLength(std::u16string_view text, bool nameToken = false);
// A character a character reference may stand for (the Char production).
inline bool IsXmlChar(char32_t c) {
  return (c >= 0x20 && c <= 0xD7FF) || c == 0x9 || c == 0xA || c == 0xD ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The first unit at or after i that is a, b or c, or (with controls) below U+0020; the text's
// size when there is none. Eight units a step where SSE2 is there.
inline std::size_t FindUnit(std::u16string_view text, std::size_t i, char16_t a, char16_t b,
                            char16_t c, bool controls) {
  const std::size_t n = text.size();
  const char16_t* units = text.data();
#ifdef KESTRELWING_SSE2
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  // Unsigned "below 0x20" as a signed comparison of the units with their top bit flipped.
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  const __m128i limit = _mm_set1_epi16(static_cast<short>(controls ? 0x8020 : 0x8000));
  for (; WideScanning() && i + 8 <= n; i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(block, va), _mm_cmpeq_epi16(block, vb)),
                     _mm_or_si128(_mm_cmpeq_epi16(block, vc),
                                  _mm_cmplt_epi16(_mm_xor_si128(block, flip), limit)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
  }
#endif
  for (; i < n; ++i) {
    const char16_t u = units[i];
    if (u == a || u == b || u == c || (controls && u < 0x20)) break;
  }
  return i;
}

}  // namespace kestrelwing::detail
