// The XML 1.0 reader: a well-formed document, read as a non-validating processor reads it, into a
// tree that keeps what a faithful rewrite needs (comments, processing instructions, the document
// type, mixed content, CDATA sections).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "MarkupReader.h"

namespace kestrelwing::detail {

// Reads the document in bytes; encodingId receives how it was encoded. Throws ParseError at the
// first well-formedness error.
ParsedDocument ParseXml10(std::span<const std::uint8_t> bytes, std::int32_t& encodingId);
// The same over text handed over as characters.
ParsedDocument ParseXml10(std::u16string_view text);

}  // namespace kestrelwing::detail
