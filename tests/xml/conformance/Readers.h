// The parsers the conformance run compares, each reading one document from its bytes the way a
// non-validating XML 1.0 processor is asked to: this library (XmlSyntax::Xml10), pugixml,
// tinyxml2 and libxml2. Where a parser's tree allows it, the reading carries the document's
// canonical form (Canonical.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrelwing::conformance {

struct Reading {
  bool accepted = false;
  std::string failure;                   // the parser's own words for a refusal
  std::optional<std::string> canonical;  // when accepted and the tree tells enough
  // This library only: the canonical form after SaveToBytes without pretty printing and Parse of
  // what it wrote; or why that round trip failed.
  std::optional<std::string> canonicalAfterRoundTrip;
  std::string roundTripFailure;
};

Reading ReadWithKestrelwing(std::string_view bytes);
Reading ReadWithPugixml(std::string_view bytes);
Reading ReadWithTinyxml2(std::string_view bytes);
// With XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET and an entity loader that refuses
// every external entity and DTD; PrepareLibxml2 installs that loader, once, before any reading.
void PrepareLibxml2();
Reading ReadWithLibxml2(std::string_view bytes);

}  // namespace kestrelwing::conformance
