// The characters of an XML 1.0 document: its bytes decoded as its byte-order mark or encoding
// declaration says, its line ends normalized, and every character checked to be one XML allows;
// and the classes of name characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrelwing::detail {

// What went wrong while the text was made ready, at offset in the text as far as it was decoded
// (for an undecodable byte, the offset its character would have had).
struct Xml10TextError {
  std::size_t offset;
  std::u16string what;
  std::u16string_view rule;
};

struct Xml10Text {
  std::u16string text;      // line ends normalized to LF, every character legal
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

}  // namespace kestrelwing::detail
