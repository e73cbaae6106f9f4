// The markup grammar: an optional XML declaration and one root element with its properties,
// children, text or CDATA section, read from decoded text in one pass without recursion.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::detail {

struct ParsedDocument {
  NodeRef root;
  NodeRef declaration;          // none when the text does not begin with "<?xml"
  std::vector<NodeRef> prolog;  // XML 1.0 only: what lies around the root element
  std::vector<NodeRef> epilog;
};

// Reads the document at the start of text; anything after the root element is ignored.
// Throws ParseError at the first syntax error.
ParsedDocument ParseMarkup(std::u16string_view text);
// The same over the bytes of a document, decoding names and values straight into the tree:
// through narrowTable for a single-byte code page, as UTF-8 without one. A ParseError's line
// and column count bytes, so for a UTF-8 source they may differ from those of the text.
ParsedDocument ParseMarkup(std::string_view bytes, const std::array<char16_t, 256>* narrowTable);

}  // namespace kestrelwing::detail
