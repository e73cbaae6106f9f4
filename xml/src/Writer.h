// The XML writer: turns a declaration node and a root element into encoded bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
  bool prettyPrint = true;      // "\r\n" after every line and indentation by depth
  std::int32_t identType = 1;   // 0: four spaces per level; anything else: one tab per level
  bool bom = false;             // the encoding's byte-order mark first
  std::int32_t encodingId = 0;  // 0 narrow, 1 UTF-8, 2 UTF-16 (little-endian)
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

// Writes the optional mark, the declaration (when there is one) and the root element (when
// there is one) with its whole subtree. Depth is bounded by memory, not by the call stack.
WriteOutcome WriteDocument(const cXmlNode* declaration, const cXmlNode* root,
                           const WriteOptions& options, ByteSink& sink);

}  // namespace kestrelwing::detail
