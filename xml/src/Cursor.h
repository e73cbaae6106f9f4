// The reader's cursor over the source: the character read last, a read position, and the line
// and column that error messages show. Names and runs of text are cut out of the source in place.
// The source is UTF-16 text, or the bytes of a UTF-8 or single-byte narrow document: every
// character that the grammar looks at is ASCII, and no byte of a multi-byte UTF-8 sequence is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrelwing::detail {

// Character classes of the reader's dialect. Only ASCII letters, digits and the nine symbols
// `!@#$^_-: make up names; whitespace is space, tab, carriage return and line feed.
enum CharClass : std::uint8_t { kNameClass = 1, kWhitespaceClass = 2, kTextSpecialClass = 4 };

inline constexpr std::array<std::uint8_t, 256> kCharClasses = [] {
  std::array<std::uint8_t, 256> table{};
  const auto mark = [&table](std::string_view chars, std::uint8_t bits) {
    for (char c : chars)
      table[static_cast<unsigned char>(c)] |= bits;
  };
  mark("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789`!@#$^_-:", kNameClass);
  mark(" \t\r\n", kWhitespaceClass);
  // What a text run must look at: both delimiters, line breaks, and entity references.
  mark("<\"\r&", kTextSpecialClass);
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
constexpr bool IsWhitespace(char16_t c) {
  return HasClass(c, kWhitespaceClass);
}

// A run of text read up to a delimiter, as it stands in the source.
template <typename Unit>
struct BasicTextRun {
  std::basic_string_view<Unit> text;
  bool hasReference = false;  // holds an '&', so it may need unescaping
};

// Unit is char16_t for text, char for the bytes of a UTF-8 or narrow document. Over bytes the
// column counts bytes, which equals the UTF-16 column only while the source is single-byte.
template <typename Unit>
class BasicCursor {
 public:
  using View = std::basic_string_view<Unit>;
  using TextRun = BasicTextRun<Unit>;

  explicit BasicCursor(View text) : text_(text) {}

  // The character read last; a space once a read ran past the end.
  Unit Current() const { return current_; }
  // Index of the next unread character.
  std::size_t Position() const { return position_; }
  // Lines count carriage returns seen by the readers that look for them; columns count the
  // UTF-16 code units read since the last counted carriage return.
  std::int64_t Line() const { return line_; }
  std::int64_t Column() const { return column_; }

  // True when nothing is left to read; the last character read may still be Current().
  bool AtEnd() const { return position_ >= text_.size(); }

  // Reads the next character into Current(); past the end Current() becomes a space and
  // neither the position nor the column moves.
  void Advance() {
    if (position_ < text_.size()) {
      current_ = text_[position_++];
      ++column_;
    } else {
      current_ = Unit{' '};
    }
  }

  // Up to count characters from index start (a negative start counts as 0); never moves.
  View Peek(std::ptrdiff_t start, std::size_t count) const;

  // Moves count characters on without reading them, then reads the next one.
  void SkipAndAdvance(std::size_t count) {
    position_ += count;
    column_ += static_cast<std::int64_t>(count);
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
    ++line_;
    column_ = 0;
  }

  // Skips spaces, tabs, carriage returns (counted) and line feeds.
  void SkipWhitespace();
  // Reads a name (possibly empty) and skips the whitespace after it.
  View ReadName();
  // Reads up to the delimiter or the end, then skips whitespace; the run stays escaped.
  TextRun ReadText(char delimiter);
  // Reads a CDATA section's content up to "]]>" or the end.
  View ReadCData();

 private:
  // The readers never take the source's last character: each checks for the end before it
  // looks at Current(), and the end is reached as soon as that character has been read.
  // Consumes the characters from Current() up to index stop (exclusive); lastBreak is the
  // index of the last carriage return among them, or npos.
  View ConsumeTo(std::size_t stop, std::size_t lastBreak);

  View text_;
  std::size_t position_ = 0;
  Unit current_ = Unit{' '};
  std::int64_t line_ = 1;
  std::int64_t column_ = 0;
};

using TextRun = BasicTextRun<char16_t>;
using Cursor = BasicCursor<char16_t>;
using ByteCursor = BasicCursor<char>;

}  // namespace kestrelwing::detail
