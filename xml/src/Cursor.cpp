#include "Cursor.h"

#include <string>

#include "ParseErrors.h"

namespace kestrelwing::detail {

std::u16string_view Cursor::Peek(std::ptrdiff_t start, std::size_t count) const {
  const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
  if (from >= text_.size()) return {};
  return text_.substr(from, count);
}

void Cursor::RaiseExpected(char16_t c) const {
  RaiseExpected(std::u16string_view(&c, 1));
}

void Cursor::RaiseExpected(std::u16string_view text) const {
  RaiseParseError(ParseErrorExpected, text, line_, column_);
}

void Cursor::RaiseMismatch(std::u16string_view text) const {
  RaiseParseError(ParseErrorMismatch, text, line_, column_);
}

std::u16string_view Cursor::ConsumeTo(std::size_t stop, std::size_t lastBreak) {
  const std::size_t start = position_ - 1;
  if (lastBreak != std::u16string_view::npos) {
    column_ = static_cast<std::int64_t>(stop - lastBreak);
  } else {
    column_ += static_cast<std::int64_t>(stop - start);
  }
  current_ = text_[stop];
  position_ = stop + 1;
  return text_.substr(start, stop - start);
}

// Each reader below starts at Current(), which (when not at the end) is the character just
// before Position(), and stops before the source's last character; see ConsumeTo.

void Cursor::SkipWhitespace() {
  if (AtEnd()) return;
  const std::size_t limit = text_.size() - 1;
  std::size_t lastBreak = std::u16string_view::npos;
  std::size_t i = position_ - 1;
  for (; i < limit && IsWhitespace(text_[i]); ++i) {
    if (text_[i] == u'\r') {
      ++line_;
      lastBreak = i;
    }
  }
  ConsumeTo(i, lastBreak);
}

std::u16string_view Cursor::ReadName() {
  if (AtEnd()) return {};
  const std::size_t limit = text_.size() - 1;
  std::size_t i = position_ - 1;
  while (i < limit && IsNameChar(text_[i]))
    ++i;
  const std::u16string_view name = ConsumeTo(i, std::u16string_view::npos);
  SkipWhitespace();
  return name;
}

TextRun Cursor::ReadText(char16_t delimiter) {
  TextRun run;
  if (!AtEnd()) {
    const std::size_t limit = text_.size() - 1;
    std::size_t lastBreak = std::u16string_view::npos;
    std::size_t i = position_ - 1;
    for (; i < limit; ++i) {
      const char16_t c = text_[i];
      if (!HasClass(c, kTextSpecialClass)) continue;
      if (c == delimiter) break;
      if (c == u'\r') {
        ++line_;
        lastBreak = i;
      } else if (c == u'&') {
        run.hasReference = true;
      }
    }
    run.text = ConsumeTo(i, lastBreak);
  }
  SkipWhitespace();
  return run;
}

std::u16string_view Cursor::ReadCData() {
  if (AtEnd()) return {};
  const std::size_t limit = text_.size() - 1;
  std::size_t lastBreak = std::u16string_view::npos;
  std::size_t i = position_ - 1;
  for (; i < limit; ++i) {
    const char16_t c = text_[i];
    if (c == u']' && text_.substr(i, 3) == u"]]>") break;
    if (c == u'\r') {
      ++line_;
      lastBreak = i;
    }
  }
  return ConsumeTo(i, lastBreak);
}

}  // namespace kestrelwing::detail
