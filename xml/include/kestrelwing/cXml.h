// cXml: an XML document (a root element and an optional declaration) that reads and writes itself.
//
// Failures: Parse, Save and SaveToBytes never throw; they answer false and leave one line in
// Result(). Every other member answers what the root's member of the same name answers
// (cXmlNode.h), so the only exceptions are those of misuse, all derived from std::logic_error, and
// std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <kestrelwing/cXmlNode.h>

namespace kestrelwing {

namespace detail {
struct ParsedDocument;
}  // namespace detail

// How a document reads and writes its text.
enum class XmlSyntax : std::int32_t {
  // The library's own small dialect: names of ASCII letters, digits and `!@#$^_-:, double-quoted
  // values, the five predefined entities, comments skipped, an element's text or CDATA section
  // kept whole in its value. Character references stay as written, in the value and when saved.
  Dialect = 0,
  // XML 1.0 (fifth edition), read as a non-validating processor: well-formedness checked, every
  // reference replaced, the internal DTD subset's entities and attribute defaults applied (no
  // external entity or DTD is ever opened), and comments, processing instructions, the document
  // type, mixed content and CDATA sections kept in the tree, so that saving writes back what
  // was read.
  Xml10 = 1,
};

class cXml {
 public:
  cXml();

  // The description of the last failed Parse or Save; empty after a successful Parse.
  const std::u16string& Result() const;

  // The XML declaration, held as a node whose properties are its attributes; none without one.
  NodeRef XMLNode() const;
  void SetXMLNode(NodeRef node);

  // The root element; a new document has an empty node called "cXmlNode".
  NodeRef Root() const;
  void SetRoot(NodeRef node);

  // The syntax Parse reads and Save writes; Dialect unless set.
  XmlSyntax Syntax() const;
  void SetSyntax(XmlSyntax syntax);

  // The comments, processing instructions and document type before the root element (Prolog)
  // and the comments and processing instructions after it (Epilog), in document order. Parse
  // fills them in XML 1.0 (the dialect skips what it finds there); Save writes them around the
  // root.
  const std::vector<NodeRef>& Prolog() const;
  void SetProlog(std::vector<NodeRef> nodes);
  const std::vector<NodeRef>& Epilog() const;
  void SetEpilog(std::vector<NodeRef> nodes);

  // 0 narrow, 1 UTF-8, 2 UTF-16: set by Parse, used and possibly changed by Save.
  std::int32_t EncodingId() const;

  // Forwarded to Root(); each throws std::logic_error when Root() is none (a misuse: the document
  // was given no root).
  std::u16string RootName() const;
  void SetRootName(std::u16string value);
  std::u16string RootValue() const;
  void SetRootValue(std::u16string_view value);
  NodeContent Content() const;
  std::u16string PropertyValue(std::u16string_view name,
                               std::u16string_view defaultValue = u"") const;
  void SetPropertyValue(std::u16string_view name, std::u16string value);
  std::int32_t PropertyCount() const;
  std::u16string PropertyName(std::int32_t index) const;
  std::int32_t NodeCount() const;
  NodeRef Node(std::int32_t index) const;
  std::vector<PropertyPair> Properties() const;
  void Add(NodeRef node);  // appends as the root's last child
  bool Remove(std::int32_t position);
  bool Remove(std::u16string_view name);
  bool Remove(const NodeRef& node);
  NodeRef NodeByName(std::u16string_view path) const;
  std::vector<NodeRef> Nodes(std::u16string_view name = u"") const;
  NodeRef Search(std::u16string_view name, std::u16string_view propertyName = u"",
                 std::u16string_view propertyValue = u"") const;

  // Reads a document from a URL, an existing file's path, or XML text, in Syntax(). False with
  // Result() on failure; the root is then a new empty node, the declaration none and the prolog
  // and epilog empty. Never throws. In XML 1.0 Result() says what broke which rule where:
  // "<what> at line L [C] (XML 1.0 <rule>)", lines counted after line-end normalization, columns
  // in UTF-16 units from 1.
  bool Parse(std::u16string_view source);
  // Reads a document from its bytes (byte-order mark or UTF-8 detection, else narrow).
  bool Parse(std::span<const std::uint8_t> bytes);

  // Writes the document to fileName, replacing it only once the new file is complete.
  // identType (so spelled in every caller's code) 0 indents with four spaces per level, any other
  // value with a tab; encoding -1 keeps EncodingId(), 0/1/2 choose narrow/UTF-8/UTF-16, and
  // becomes EncodingId() once the document is written. An element's value is written only when it
  // has no children: one with children is written as its children alone, as the library's dialect
  // has it. False with Result() on failure, EncodingId() then as it was (the declaration's
  // encoding attribute, set before writing, may already name the encoding asked for). Never throws.
  bool Save(std::u16string_view fileName, bool prettyPrint = true, std::int32_t identType = 1,
            bool bom = false, std::int32_t encoding = -1);
  // Save into bytes instead of a file (replacing what they held), with the same options and the
  // same effect on EncodingId() and Result(); bytes are empty after a failure.
  bool SaveToBytes(std::vector<std::uint8_t>& bytes, bool prettyPrint = true,
                   std::int32_t identType = 1, bool bom = false, std::int32_t encoding = -1);

 private:
  const NodeRef& CheckedRoot() const;
  // The reader (cXmlParse.cpp): each step answers Parse's result.
  bool ParseSource(std::u16string_view source);
  bool ParseBytes(std::span<const std::uint8_t> bytes);
  bool ParseText(std::u16string_view text);
  void Adopt(detail::ParsedDocument&& document);  // a parsed tree becomes the document
  bool FailParse(std::u16string_view description) noexcept;
  // The writer (cXmlSave.cpp): Save's and SaveToBytes's common course around write, which
  // writes in the encoding it is given, settles it, and answers the reason of a failure.
  template <typename Write>
  bool SaveWith(Write&& write, std::int32_t encoding) noexcept;

  NodeRef root_;
  NodeRef xmlNode_;
  std::vector<NodeRef> prolog_;
  std::vector<NodeRef> epilog_;
  XmlSyntax syntax_ = XmlSyntax::Dialect;
  std::u16string resultText_;
  std::int32_t encodingId_ = 0;
};

}  // namespace kestrelwing
