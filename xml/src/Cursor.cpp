#include "Cursor.h"

#include <string>

#include "ParseErrors.h"

namespace kestrelwing::detail {

template <typename Unit>
typename BasicCursor<Unit>::View BasicCursor<Unit>::Peek(std::ptrdiff_t start,
                                                         std::size_t count) const {
  const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
  if (from >= text_.size()) return {};
  return text_.substr(from, count);
}

template <typename Unit>
void BasicCursor<Unit>::RaiseExpected(char c) const {
  const char16_t expected = static_cast<unsigned char>(c);
  RaiseExpected(std::u16string_view(&expected, 1));
}

template <typename Unit>
void BasicCursor<Unit>::RaiseExpected(std::u16string_view text) const {
  RaiseParseError(ParseErrorExpected, text, line_, column_);
}

template <typename Unit>
void BasicCursor<Unit>::RaiseMismatch(std::u16string_view text) const {
  RaiseParseError(ParseErrorMismatch, text, line_, column_);
}

template <typename Unit>
typename BasicCursor<Unit>::View BasicCursor<Unit>::ReadCData() {
  if (AtEnd()) return {};
  const std::size_t limit = text_.size() - 1;
  std::size_t lastBreak = View::npos;
  std::size_t i = position_ - 1;
  for (;; ++i) {
    i = FindAnyOf(text_, i, limit, ']', ']', ']', kCountsPlaces ? '\r' : ']');
    if (i == limit) break;
    const Unit c = text_[i];
    if (c == ']' && i + 2 < text_.size() && text_[i + 1] == ']' && text_[i + 2] == '>') break;
    if (kCountsPlaces && c == '\r') {
      ++line_;
      lastBreak = i;
    }
  }
  return ConsumeTo(i, lastBreak);
}

template class BasicCursor<char16_t>;
template class BasicCursor<char>;

}  // namespace kestrelwing::detail
