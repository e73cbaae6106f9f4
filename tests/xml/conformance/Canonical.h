// James Clark's canonical form of a document, as the W3C conformance suite's out/ files hold it,
// in UTF-8:
//
//   the processing instructions before the root element; where the document type stands among
//   them, the processing instructions of its internal subset and, when it declares notations,
//   <!DOCTYPE root [\n<!NOTATION ...>\n...]>\n with the notations sorted by name (the suite's
//   out/ files keep that order, whatever the grammar of the second canonical form says); then the
//   root element and the processing instructions after it.
//
// Elements are written <name attr="value" ...>content</name> (an empty one too), attributes sorted
// by name in code-point order; text and attribute values escape & < > " and tab, line feed and
// carriage return (&#9; &#10; &#13;); a processing instruction is <?target data?> with one space
// after the target even when there is no data; comments, CDATA markers, the XML declaration and
// everything else of the DTD leave no trace.
//
// CanonicalWriter builds the text from any parser's tree; CanonicalForm walks a cXml with it,
// through the public API only, so tests, the conformance harness and fuzz targets share it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <kestrelwing/cXml.h>

namespace kestrelwing::conformance {

// A <!NOTATION> declaration; an absent literal is empty and marked so.
struct Notation {
  std::string name;
  std::string publicId;  // white space normalized (runs to one space, none at the ends)
  std::string systemId;
  bool hasPublic = false;
  bool hasSystem = false;

  friend bool operator==(const Notation&, const Notation&) = default;
};

struct Instruction {
  std::string target;
  std::string data;  // from the first character after the white space that follows the target

  friend bool operator==(const Instruction&, const Instruction&) = default;
};

// What the canonical form takes from a document type: its processing instructions and its
// notation declarations, each in the order written.
struct DocumentTypeContent {
  std::vector<Instruction> instructions;
  std::vector<Notation> notations;
};

// Reads DTD text: an internal subset, or a whole DOCTYPE body such as `doc SYSTEM "x" [ ... ]`.
// Comments and quoted literals are stepped over; a declaration or processing instruction reached
// only through a parameter entity is not seen.
DocumentTypeContent ReadDocumentType(std::string_view dtd);

class CanonicalWriter {
 public:
  using Attribute = std::pair<std::string, std::string>;  // name, value

  // The document type, at its place in the prolog: its processing instructions, then its
  // notations (nothing without).
  void DocumentType(std::string_view rootName, DocumentTypeContent content);
  void ProcessingInstruction(std::string_view target, std::string_view data);
  // Sorts the attributes by name.
  void StartElement(std::string_view name, std::vector<Attribute> attributes);
  void EndElement(std::string_view name);
  void Text(std::string_view text);

  const std::string& Result() const { return text_; }

 private:
  void Escaped(std::string_view text);

  std::string text_;
};

// The canonical form of a document read by this library: the prolog's processing instructions and
// its document type's notations in order, the root, the epilog's processing instructions. An
// element with children is written as its children (elements, text runs, CDATA sections and
// processing instructions; comments dropped), one without as its Value(); in a document of the
// library's dialect, where a CDATA section is kept whole in the value, its markers are removed.
std::string CanonicalForm(const cXml& document);

// 1-based position in characters (UTF-8 code points) of the first difference between two texts,
// 0 when they are equal.
std::size_t FirstDifference(std::string_view expected, std::string_view actual);

}  // namespace kestrelwing::conformance
