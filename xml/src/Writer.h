// The XML writer: turns a declaration node, the nodes around the root and the root element into
// encoded bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <kestrelwing/cXml.h>
#include <kestrelwing/cXmlNode.h>

namespace kestrelwing::detail {

// Where the writer's bytes go, in blocks of tens of kilobytes. Write answers false to stop it.
class ByteSink {
 public:
  virtual bool Write(std::string_view bytes) = 0;

 protected:
  ~ByteSink() = default;
};

struct WriteOptions {
  // "\r\n" after every line and indentation by depth, except inside mixed content (an element
  // with a text run that is not only white space, or a CDATA section, among its children), which
  // is written as it is; white-space-only text runs elsewhere are left out. Off, nothing is
  // added or left out.
  bool prettyPrint = true;
  std::int32_t identType = 1;   // 0: four spaces per level; anything else: one tab per level
  bool bom = false;             // the encoding's byte-order mark first
  std::int32_t encodingId = 0;  // 0 narrow, 1 UTF-8, 2 UTF-16 (little-endian)
  // How values are escaped (Escaping.h): the dialect keeps character references as written;
  // XML 1.0 also escapes what a processor's normalization would change, and writes a character
  // the narrow code page lacks as a character reference.
  XmlSyntax syntax = XmlSyntax::Dialect;
};

// What a document writes, in this order; any part may be missing.
struct DocumentParts {
  const cXmlNode* declaration = nullptr;
  std::span<const NodeRef> prolog;  // each on a line of its own when pretty
  const cXmlNode* root = nullptr;
  std::span<const NodeRef> epilog;
};

enum class WriteOutcome {
  Written,
  SinkFailed,  // the sink refused a block; nothing more was written
  Cycle,       // an element lies below itself; writing stopped there
};

// The encoding a save writes in, agreed with the declaration (none when there is no declaration):
// a non-zero encodingId is written into the declaration's "encoding" property ("UTF-8" or
// "UTF-16"); with 0, a declaration that names UTF-8 or UTF-16 (letter case ignored, also spelt
// "UTF 8", "UTF8", ...) chooses that encoding and is left as written.
std::int32_t SettleEncoding(cXmlNode* declaration, std::int32_t encodingId);

// Writes the optional mark, the declaration (when there is one), the prolog, the root element
// (when there is one) with its whole subtree and the epilog. Every kind of node is written in its
// own form. Depth is bounded by memory, not by the call stack.
WriteOutcome WriteDocument(const DocumentParts& document, const WriteOptions& options,
                           ByteSink& sink);
// A document of a declaration and a root alone.
inline WriteOutcome WriteDocument(const cXmlNode* declaration, const cXmlNode* root,
                                  const WriteOptions& options, ByteSink& sink) {
  return WriteDocument(
      DocumentParts{.declaration = declaration, .prolog = {}, .root = root, .epilog = {}}, options,
      sink);
}

}  // namespace kestrelwing::detail
