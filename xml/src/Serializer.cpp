// The XML writer. Text is gathered as UTF-16 in one buffer; whenever the buffer holds a few tens
// of thousands of code units it is encoded as one run and handed to the sink as one block.
#include "Serializer.h"

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "CaseFold.h"
#include "Encodings.h"
#include "Escaping.h"
#include "NodeAccess.h"

namespace kestrelwing::detail {
namespace {

constexpr std::u16string_view kEncodingProperty = u"encoding";
// Code units gathered before a block is encoded and written (64 KiB of UTF-16).
constexpr std::size_t kBlockUnits = std::size_t{1} << 15;

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool NamesAnyOf(std::u16string_view name, std::initializer_list<std::u16string_view> spellings) {
  for (std::u16string_view spelling : spellings) {
    if (EqualsIgnoreCase(name, spelling)) return true;
  }
  return false;
}

class Writer {
 public:
  Writer(const WriteOptions& options, ByteSink& sink) : options_(options), sink_(sink) {
    text_.reserve(kBlockUnits + kBlockUnits / 4);
    if (options.bom) bytes_ = ByteOrderMark(options.encodingId);
    if (options.prettyPrint) {
      lineEnd_ = u"\r\n";
      indentUnit_ = options.identType == 0 ? u"    " : u"\t";
    }
  }

  WriteOutcome Document(const cXmlNode* declaration, const cXmlNode* root) {
    if (declaration != nullptr) Declaration(*declaration);
    if (root != nullptr) {
      WriteOutcome outcome = Tree(*root);
      if (outcome != WriteOutcome::Written) return outcome;
    }
    return Flush(/*final=*/true) ? WriteOutcome::Written : WriteOutcome::SinkFailed;
  }

 private:
  // An element whose children are being written.
  struct OpenElement {
    const cXmlNode* node;
    std::span<const NodeRef> children;
    std::size_t next;
  };

  void Declaration(const cXmlNode& declaration) {
    text_ += u"<?xml";
    Properties(declaration);
    text_ += u"?>";
    text_ += lineEnd_;
  }

  // Walks the tree with an explicit stack, so depth costs heap memory, not call stack. A node met
  // again while it is still open lies below itself: the tree is infinite, so writing stops.
  WriteOutcome Tree(const cXmlNode& root) {
    std::vector<OpenElement> open;
    std::unordered_set<const cXmlNode*> openNodes;
    auto enter = [&](const cXmlNode& node) {
      StartTag(node, open.size());
      std::span<const NodeRef> children = NodeAccess::Children(node);
      if (children.empty()) {
        LeafRest(node);
        return true;
      }
      if (!openNodes.insert(&node).second) return false;
      text_ += u'>';
      text_ += lineEnd_;
      open.push_back({&node, children, 0});
      return true;
    };

    if (!enter(root)) return WriteOutcome::Cycle;
    while (!open.empty()) {
      if (text_.size() >= kBlockUnits && !Flush(/*final=*/false)) return WriteOutcome::SinkFailed;
      OpenElement& top = open.back();
      if (top.next < top.children.size()) {
        if (!enter(*top.children[top.next++])) return WriteOutcome::Cycle;
        continue;
      }
      const cXmlNode& node = *top.node;
      open.pop_back();
      openNodes.erase(&node);
      Indent(open.size());
      text_ += u"</";
      text_ += node.Name();
      text_ += u'>';
      text_ += lineEnd_;
    }
    return WriteOutcome::Written;
  }

  void StartTag(const cXmlNode& node, std::size_t depth) {
    Indent(depth);
    text_ += u'<';
    text_ += node.Name();
    Properties(node);
  }

  // Names are written as stored; values are escaped.
  void Properties(const cXmlNode& node) {
    const std::int32_t count = node.PropertyCount();
    for (std::int32_t index = 1; index <= count; ++index) {
      text_ += u' ';
      text_ += NodeAccess::PropertyNameAt(node, index);
      text_ += u"=\"";
      AppendEscapedMarkup(text_, NodeAccess::PropertyValueAt(node, index));
      text_ += u'"';
    }
  }

  // What follows the properties of an element without children: "/>" when it has no value,
  // else its value (a CDATA section exactly as stored, text escaped) and its end tag.
  void LeafRest(const cXmlNode& node) {
    const std::u16string& value = node.Value();
    if (value.empty()) {
      text_ += u"/>";
    } else {
      text_ += u'>';
      if (node.Content() == ContentCData) {
        text_ += value;
      } else {
        AppendEscapedMarkup(text_, value);
      }
      text_ += u"</";
      text_ += node.Name();
      text_ += u'>';
    }
    text_ += lineEnd_;
  }

  void Indent(std::size_t depth) {
    if (indentUnit_.empty()) return;
    const std::size_t width = depth * indentUnit_.size();
    while (indentRun_.size() < width)
      indentRun_ += indentUnit_;
    text_.append(indentRun_, 0, width);
  }

  // Encodes the gathered text and writes it as one block. Before the end, a trailing high
  // surrogate waits for its partner, so a character is never split between two blocks.
  bool Flush(bool final) {
    std::size_t cut = text_.size();
    if (!final && cut > 0 && IsHighSurrogate(text_[cut - 1])) --cut;
    AppendEncoded(bytes_, std::u16string_view(text_).substr(0, cut), options_.encodingId);
    text_.erase(0, cut);
    if (bytes_.empty()) return true;
    const bool written = sink_.Write(bytes_);
    bytes_.clear();
    return written;
  }

  const WriteOptions& options_;
  ByteSink& sink_;
  std::u16string_view lineEnd_;
  std::u16string_view indentUnit_;
  std::u16string indentRun_;  // the widest indentation used so far
  std::u16string text_;
  std::string bytes_;
};

}  // namespace

std::int32_t SettleEncoding(cXmlNode* declaration, std::int32_t encodingId) {
  if (declaration == nullptr) return encodingId;
  if (encodingId != kEncodingNarrow) {
    NodeAccess::SetProperty(*declaration, kEncodingProperty,
                            encodingId == kEncodingUtf8 ? u"UTF-8" : u"UTF-16");
    return encodingId;
  }
  const std::u16string named = declaration->PropertyValue(kEncodingProperty);
  if (NamesAnyOf(named, {u"UTF-8", u"UTF 8", u"UTF8"})) return kEncodingUtf8;
  if (NamesAnyOf(named, {u"UTF-16", u"UTF 16", u"UTF16"})) return kEncodingUtf16;
  return kEncodingNarrow;
}

WriteOutcome WriteDocument(const cXmlNode* declaration, const cXmlNode* root,
                           const WriteOptions& options, ByteSink& sink) {
  return Writer(options, sink).Document(declaration, root);
}

}  // namespace kestrelwing::detail
