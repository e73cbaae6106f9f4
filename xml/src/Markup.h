// The markup grammar: an optional XML declaration and one root element with its properties,
// children, text or CDATA section, read from decoded text in one pass without recursion.
#pragma once

#include <string_view>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::detail {

struct ParsedDocument {
  NodeRef root;
  NodeRef declaration;  // none when the text does not begin with "<?xml"
};

// Reads the document at the start of text; anything after the root element is ignored.
// Throws ParseError at the first syntax error.
ParsedDocument ParseMarkup(std::u16string_view text);

}  // namespace kestrelwing::detail
