// The five predefined XML entities: &amp; &apos; &quot; &lt; &gt;.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrelwing::detail {

// & ' " < > become their entity texts; nothing else changes.
std::u16string EscapeMarkup(std::u16string_view text);
// Appends EscapeMarkup(text) to out, without a temporary string.
void AppendEscapedMarkup(std::u16string& out, std::u16string_view text);
// The five entity texts become their characters, &amp; last; everything else stays as written.
std::u16string UnescapeMarkup(std::u16string_view text);
// UnescapeMarkup over the first length characters of text, written over them; answers how many
// characters the result has (never more than length). The rest of text is left alone.
std::size_t UnescapeInPlace(char16_t* text, std::size_t length);

}  // namespace kestrelwing::detail
