// The reader's cursor over the source: the character read last, a read position, and the line
// and column that error messages show. Names and runs of text are cut out of the source in place.
// The source is UTF-16 text, or the bytes of a UTF-8 or single-byte narrow document: every
// character that the grammar looks at is ASCII, and no byte of a multi-byte UTF-8 sequence is.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "Compiler.h"
#include "SharedName.h"

namespace kestrelwing::detail {

// Character classes of the reader's dialect. Only ASCII letters, digits and the nine symbols
// `!@#$^_-: make up names; whitespace is space, tab, carriage return and line feed.
enum CharClass : std::uint8_t { kNameClass = 1, kWhitespaceClass = 2 };

inline constexpr std::array<std::uint8_t, 256> kCharClasses = [] {
  std::array<std::uint8_t, 256> table{};
  const auto mark = [&table](std::string_view chars, std::uint8_t bits) {
    for (char c : chars)
      table[static_cast<unsigned char>(c)] |= bits;
  };
  mark("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789`!@#$^_-:", kNameClass);
  mark(" \t\r\n", kWhitespaceClass);
  return table;
}();

constexpr bool HasClass(char16_t c, std::uint8_t bits) {
  return c < kCharClasses.size() && (kCharClasses[c] & bits) != 0;
}
// Bytes from 80 on belong to no class.
constexpr bool HasClass(char c, std::uint8_t bits) {
  return (kCharClasses[static_cast<unsigned char>(c)] & bits) != 0;
}

constexpr bool IsLetter(char16_t c) {
  return (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
}
constexpr bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
constexpr bool IsNameChar(char16_t c) {
  return HasClass(c, kNameClass);
}
constexpr bool IsNameChar(char c) {
  return HasClass(c, kNameClass);
}
constexpr bool IsWhitespace(char16_t c) {
  return HasClass(c, kWhitespaceClass);
}
constexpr bool IsWhitespace(char c) {
  return HasClass(c, kWhitespaceClass);
}

// A run of text read up to a delimiter, as it stands in the source.
template <typename Unit>
struct BasicTextRun {
  std::basic_string_view<Unit> text;
  bool hasReference = false;  // holds an '&', so it may need unescaping
};

// Unit is char16_t for text, char for the bytes of a UTF-8 or narrow document. Over bytes no
// line or column is kept: a document that fails there is read again as text, whose error tells
// where.
template <typename Unit>
class BasicCursor {
 public:
  using View = std::basic_string_view<Unit>;
  using TextRun = BasicTextRun<Unit>;
  static constexpr bool kCountsPlaces = std::is_same_v<Unit, char16_t>;

  explicit BasicCursor(View text) : text_(text) {}

  // The character read last; a space once a read ran past the end.
  Unit Current() const { return current_; }
  // Index of the next unread character.
  std::size_t Position() const { return position_; }
  // Lines count carriage returns seen by the readers that look for them; columns count the
  // UTF-16 code units read since the last counted carriage return.
  std::int64_t Line() const requires kCountsPlaces { return line_; }
  std::int64_t Column() const requires kCountsPlaces { return column_; }

  // True when nothing is left to read; the last character read may still be Current().
  bool AtEnd() const { return position_ >= text_.size(); }

  // Reads the next character into Current(); past the end Current() becomes a space and
  // neither the position nor the column moves.
  void Advance() {
    if (position_ < text_.size()) {
      current_ = text_[position_++];
      if constexpr (kCountsPlaces) ++column_;
    } else {
      current_ = Unit{' '};
    }
  }

  // The character after Current(), not yet read; a NUL at the end.
  Unit Next() const { return position_ < text_.size() ? text_[position_] : Unit{}; }
  // Up to count characters from index start (a negative start counts as 0); never moves.
  View Peek(std::ptrdiff_t start, std::size_t count) const;

  // Moves count characters on without reading them, then reads the next one.
  void SkipAndAdvance(std::size_t count) {
    position_ += count;
    if constexpr (kCountsPlaces) column_ += static_cast<std::int64_t>(count);
    Advance();
  }
  // Reads the current character a second time: the position stays, the column grows by one.
  void Reread() {
    --position_;
    Advance();
  }

  // Advances past Current() when it is c; otherwise raises the "Expected: " error for c.
  void Expect(char c) {
    if (current_ != c) RaiseExpected(c);
    Advance();
  }
  [[noreturn]] void RaiseExpected(char c) const;
  [[noreturn]] void RaiseExpected(std::u16string_view text) const;
  [[noreturn]] void RaiseMismatch(std::u16string_view text) const;

  // A carriage return seen by a reader: the next character starts a new line.
  void CountLine() {
    if constexpr (kCountsPlaces) {
      ++line_;
      column_ = 0;
    }
  }

  // Skips spaces, tabs, carriage returns (counted) and line feeds. Inline, so that each place
  // that finds no whitespace, the common case, costs one well-predicted test.
  void SkipWhitespace() {
    if (AtEnd() || !IsWhitespace(current_)) return;
    // A single space, the most common run (between attributes), is read right here.
    if (current_ == ' ' && position_ + 1 < text_.size() && !IsWhitespace(text_[position_])) {
      Advance();
      return;
    }
    SkipWhitespaceRun();
  }
  // Reads a name (possibly empty) and skips the whitespace after it.
  View ReadName();
  // Reads attributes of the common kind from Current() on, while single spaces part them: a
  // name, '=' and '"' right after it, a value of ASCII characters other than '<' (and CR where
  // lines are counted), the closing quote. Hands each to take(name, value, hasReference), which
  // answers whether to read on; the value stays escaped, and hasReference tells whether it holds
  // an '&'. The cursor is then on the character after the last closing quote. False, and nothing
  // moves, when the first is of another kind.
  template <typename Take>
  bool ReadPlainAttributes(Take take);
  // Reads name and the '>' right after it, the common end tag, when the source holds exactly
  // them there; otherwise false, and nothing moves.
  bool ReadEndTagIf(View name);
  // Reads up to the delimiter or the end, then skips whitespace; the run stays escaped.
  TextRun ReadText(char delimiter);
  // ReadText('<') over a run of ASCII characters other than '&', writing it to out
  // as UTF-16 on the way, sixteen bytes a step, up to 15 units past the run: answers its length,
  // or npos when the run would not fit into room units or holds another character, and then
  // nothing moves.
  std::size_t ReadPlainText(char16_t* out, std::size_t room);
  // Reads a CDATA section's content up to "]]>" or the end.
  View ReadCData();

 private:
  // The readers never take the source's last character: each checks for the end before it
  // looks at Current(), and the end is reached as soon as that character has been read.
  // Consumes the characters from Current() up to index stop (exclusive); lastBreak is the
  // index of the last carriage return among them, or npos.
  View ConsumeTo(std::size_t stop, std::size_t lastBreak);
  // SkipWhitespace from a whitespace Current().
  void SkipWhitespaceRun();

  View text_;
  std::size_t position_ = 0;
  Unit current_ = Unit{' '};
  std::int64_t line_ = 1;
  std::int64_t column_ = 0;
};

// The end of the run of name characters from i on, at most limit. Names are short: a step of
// sixteen bytes would cost more than it saves.
template <typename Unit>
KESTRELWING_ALWAYS_INLINE inline std::size_t NameEnd(std::basic_string_view<Unit> text,
                                                     std::size_t i, std::size_t limit) {
  while (i < limit && IsNameChar(text[i]))
    ++i;
  return i;
}

#ifdef KESTRELWING_SSE2
// Where sixteen bytes break a plain run of text or of an attribute value (whose quote is the
// other stop; text passes '<' again): one bit for each '<', '&', other stop and byte from 0x80
// on. Over bytes no lines are counted, so a carriage return is plain.
inline unsigned PlainRunStops(__m128i block, char other) {
  const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('<')),
                                                  _mm_cmpeq_epi8(block, _mm_set1_epi8(other))),
                                     _mm_cmpeq_epi8(block, _mm_set1_epi8('&')));
  // Bytes from 0x80 join through their sign bits.
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(stops, block)));
}
#endif

// The end of the run of ASCII characters from i on that are none of '"', '<', '&' (and CR
// where lines are counted), at most limit: a piece of the value of a plain attribute.
template <typename Unit>
KESTRELWING_ALWAYS_INLINE inline std::size_t PlainValueEnd(std::basic_string_view<Unit> text,
                                                           std::size_t i, std::size_t limit) {
#ifdef KESTRELWING_SSE2
  if (sizeof(Unit) == 1 && WideScanning()) {
    for (; i + 16 <= limit; i += 16) {
      const unsigned mask =
          PlainRunStops(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)), '"');
      if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
  }
#endif
  for (; i < limit; ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    if (c >= 0x80 || c == '"' || c == '<' || c == '&' ||
        (c == '\r' && BasicCursor<Unit>::kCountsPlaces)) {
      break;
    }
  }
  return i;
}

// The first unit at or after i (below limit) that is one of a, b, c and d, or limit.
template <typename Unit>
std::size_t FindAnyOf(std::basic_string_view<Unit> text, std::size_t i, std::size_t limit, char a,
                      char b, char c, char d) {
#ifdef KESTRELWING_SSE2
  if (sizeof(Unit) == 1 && WideScanning()) {
    // Sixteen bytes at a time, the four bytes compared in parallel.
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c), vd = _mm_set1_epi8(d);
    for (; i + 16 <= limit; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      const __m128i hits =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)),
                       _mm_or_si128(_mm_cmpeq_epi8(block, vc), _mm_cmpeq_epi8(block, vd)));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
      if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
  }
#endif
  for (; i < limit; ++i) {
    const Unit u = text[i];
    if (u == a || u == b || u == c || u == d) break;
  }
  return i;
}

template <typename Unit>
typename BasicCursor<Unit>::View BasicCursor<Unit>::ConsumeTo(std::size_t stop,
                                                              std::size_t lastBreak) {
  const std::size_t start = position_ - 1;
  if constexpr (kCountsPlaces) {
    if (lastBreak != View::npos) {
      column_ = static_cast<std::int64_t>(stop - lastBreak);
    } else {
      column_ += static_cast<std::int64_t>(stop - start);
    }
  }
  current_ = text_[stop];
  position_ = stop + 1;
  return View(text_.data() + start, stop - start);
}

// Each reader below starts at Current(), which (when not at the end) is the character just
// before Position(), and stops before the source's last character; see ConsumeTo.

template <typename Unit>
void BasicCursor<Unit>::SkipWhitespaceRun() {
  const std::size_t limit = text_.size() - 1;
  std::size_t lastBreak = View::npos;
  std::size_t i = position_ - 1;
#ifdef KESTRELWING_SSE2
  if (sizeof(Unit) == 1 && WideScanning()) {
    // Sixteen bytes at a time: the run ends at the first byte that is no whitespace.
    const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= limit; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_.data() + i));
      const __m128i blanks =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, space), _mm_cmpeq_epi8(block, tab)),
                       _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
      const auto other = ~static_cast<unsigned>(_mm_movemask_epi8(blanks)) & 0xFFFFu;
      if (other != 0) {
        ConsumeTo(i + static_cast<std::size_t>(std::countr_zero(other)), View::npos);
        return;
      }
    }
  }
#endif
  for (; i < limit && IsWhitespace(text_[i]); ++i) {
    if constexpr (kCountsPlaces) {
      // Without branches: runs of indentation mix line breaks and blanks unpredictably.
      const bool lineBreak = text_[i] == '\r';
      line_ += lineBreak;
      lastBreak = lineBreak ? i : lastBreak;
    }
  }
  ConsumeTo(i, lastBreak);
}

template <typename Unit>
typename BasicCursor<Unit>::View BasicCursor<Unit>::ReadName() {
  if (AtEnd()) return {};
  const std::size_t limit = text_.size() - 1;
  const View name = ConsumeTo(NameEnd(text_, position_ - 1, limit), View::npos);
  SkipWhitespace();
  return name;
}

template <typename Unit>
template <typename Take>
bool BasicCursor<Unit>::ReadPlainAttributes(Take take) {
  if (AtEnd()) return false;
  const std::size_t limit = text_.size() - 1;
  std::size_t read = View::npos;  // past the last attribute read
  for (std::size_t i = position_ - 1;; ++i) {
    const std::size_t nameEnd = NameEnd(text_, i, limit);
    if (nameEnd == i || nameEnd + 2 >= limit || text_[nameEnd] != '=' ||
        text_[nameEnd + 1] != '"') {
      break;
    }
    std::size_t valueEnd = PlainValueEnd(text_, nameEnd + 2, limit);
    bool hasReference = false;
    while (valueEnd < limit && text_[valueEnd] == '&') {
      hasReference = true;
      valueEnd = PlainValueEnd(text_, valueEnd + 1, limit);
    }
    if (valueEnd == limit || text_[valueEnd] != '"') break;
    const View name(text_.data() + i, nameEnd - i);
    const View value(text_.data() + nameEnd + 2, valueEnd - nameEnd - 2);
    i = read = valueEnd + 1;
    if (!take(name, value, hasReference) || text_[i] != ' ') break;
  }
  if (read == View::npos) return false;
  ConsumeTo(read, View::npos);
  return true;
}

template <typename Unit>
bool BasicCursor<Unit>::ReadEndTagIf(View name) {
  const std::size_t start = position_ - 1;
  const std::size_t close = start + name.size();
  if (AtEnd() || close + 1 >= text_.size() || text_[close] != '>' ||
      !SameUnits(name, text_.data() + start)) {
    return false;
  }
  ConsumeTo(close + 1, View::npos);
  return true;
}

template <typename Unit>
std::size_t BasicCursor<Unit>::ReadPlainText([[maybe_unused]] char16_t* out,
                                             [[maybe_unused]] std::size_t room) {
#ifdef KESTRELWING_SSE2
  if (sizeof(Unit) == 1 && WideScanning() && !AtEnd()) {
    const std::size_t start = position_ - 1;
    const std::size_t limit = std::min(text_.size() - 1, start + room - room % 16);
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = start; i + 16 <= limit; i += 16, out += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_.data() + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(block, zero));
      const unsigned mask = PlainRunStops(block, '<');
      if (mask == 0) continue;
      const std::size_t stop = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (text_[stop] != '<') break;
      ConsumeTo(stop, View::npos);
      return stop - start;  // what ReadText skips after the run: nothing, before a '<'
    }
  }
#endif
  return View::npos;
}

template <typename Unit>
typename BasicCursor<Unit>::TextRun BasicCursor<Unit>::ReadText(char delimiter) {
  TextRun run;
  if (!AtEnd()) {
    const std::size_t limit = text_.size() - 1;
    std::size_t lastBreak = View::npos;
    std::size_t i = position_ - 1;
    for (;; ++i) {
      i = FindAnyOf(text_, i, limit, '<', '"', '&', kCountsPlaces ? '\r' : '&');
      if (i == limit) break;
      const Unit c = text_[i];
      if (c == delimiter) break;
      if (kCountsPlaces && c == '\r') {
        ++line_;
        lastBreak = i;
      } else if (c == '&') {
        run.hasReference = true;
      }
    }
    run.text = ConsumeTo(i, lastBreak);
  }
  SkipWhitespace();
  return run;
}

using TextRun = BasicTextRun<char16_t>;
using Cursor = BasicCursor<char16_t>;
using ByteCursor = BasicCursor<char>;

}  // namespace kestrelwing::detail
