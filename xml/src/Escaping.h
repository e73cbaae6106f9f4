// The five predefined XML entities (&amp; &apos; &quot; &lt; &gt;), and the escaping the writer
// applies in each syntax.
#pragma once

#include <cstddef>
#include <cstdint>
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

// What the writer escapes in a value.
enum class Escapes : std::uint8_t {
  // The dialect's: the five markup characters, except an '&' that begins a character reference,
  // which stays as written (the dialect keeps references as text, so they mean what they meant).
  Dialect,
  // XML 1.0 character data: the five markup characters and CR as "&#13;", which line-end
  // normalization would otherwise turn into LF.
  Xml10Text,
  // XML 1.0 attribute values: as Xml10Text, and TAB and LF as "&#9;" and "&#10;", which
  // attribute-value normalization would otherwise turn into spaces.
  Xml10Attribute,
};
// text as the writer writes it with those escapes (before encoding).
std::u16string EscapeForWriting(std::u16string_view text, Escapes escapes);
// The length of the well-formed character reference that text begins with ("&#" decimal digits
// ";" or "&#x" hexadecimal digits ";"), 0 when it begins with none.
std::size_t CharacterReferenceLength(std::u16string_view text);
// The character reference "&#N;" of a code point.
std::u16string CharacterReference(char32_t codePoint);

}  // namespace kestrelwing::detail
