// The five predefined XML entities: &amp; &apos; &quot; &lt; &gt;.
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing::detail {

// & ' " < > become their entity texts; nothing else changes.
std::u16string EscapeMarkup(std::u16string_view text);
// Appends EscapeMarkup(text) to out, without a temporary string.
void AppendEscapedMarkup(std::u16string& out, std::u16string_view text);
// The five entity texts become their characters, &amp; last; everything else stays as written.
// (The reader appends in place; this whole-text form states the rule its tests check.)
std::u16string UnescapeMarkup(std::u16string_view text);
// Appends UnescapeMarkup(text) to out, without a temporary string.
void AppendUnescapedMarkup(std::u16string& out, std::u16string_view text);

}  // namespace kestrelwing::detail
