#include "Markup.h"

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CaseFold.h"
#include "Cursor.h"
#include "Escaping.h"
#include "NodeAccess.h"

namespace kestrelwing::detail {
namespace {

class MarkupParser {
 public:
  explicit MarkupParser(std::u16string_view text) : cursor_(text) {}

  ParsedDocument ParseDocument();

 private:
  NodeRef ParseElementTree(std::u16string_view rootName);
  NodeRef BeginElement(std::u16string_view name, bool& complete);
  void ParseAttributes(cXmlNode& node);
  void SetAttributes(cXmlNode& node);
  void ReadCDataSection(cXmlNode& node);
  void ExpectEndTag(const cXmlNode& node);
  void ExpectEndTagName(const cXmlNode& node);
  void SkipComments();
  void StoreText(cXmlNode& node, const TextRun& run);
  std::u16string_view Unescaped(const TextRun& run);

  // An attribute read from a start tag; a value with entity references is unescaped into
  // unescaped_, the others stay in the source.
  static constexpr std::size_t kInSource = std::u16string_view::npos;
  struct Attribute {
    std::u16string_view name;
    std::u16string_view value;
    std::size_t unescapedFrom = kInSource;
    std::size_t length = 0;
  };

  Cursor cursor_;
  bool hasDeclaration_ = false;
  std::array<Attribute, 16> batch_;  // attributes read but not yet set
  std::size_t batchSize_ = 0;
  std::size_t batchCharacters_ = 0;
  std::u16string unescaped_;  // reused for text with entity references
};

ParsedDocument MarkupParser::ParseDocument() {
  ParsedDocument document;
  cursor_.Advance();
  cursor_.SkipWhitespace();
  SkipComments();
  cursor_.Expect(u'<');
  if (cursor_.Current() == u'?') {
    cursor_.Expect(u'?');
    if (!EqualsIgnoreCase(cursor_.ReadName(), u"xml")) cursor_.RaiseExpected(u"xml");
    hasDeclaration_ = true;
    document.declaration = std::make_shared<cXmlNode>();
    NodeAccess::SetName(*document.declaration, u"xml");
    ParseAttributes(*document.declaration);
    cursor_.Advance();  // the character that ended the list, normally '>', goes unchecked
    cursor_.SkipWhitespace();
    SkipComments();
    cursor_.Expect(u'<');
    cursor_.Reread();
  }
  document.root = ParseElementTree(cursor_.ReadName());
  return document;
}

// Reads an element and everything inside it. Elements whose content is still being read wait
// on an explicit stack, so the depth of a document is bounded by memory, not by the thread's
// stack. A child joins its parent once it is complete.
NodeRef MarkupParser::ParseElementTree(std::u16string_view rootName) {
  std::vector<NodeRef> open;
  bool complete = false;
  NodeRef node = BeginElement(rootName, complete);
  for (;;) {
    if (!complete) {
      open.push_back(std::move(node));
    } else {
      NodeAccess::Compact(*node);
      if (open.empty()) return node;
      NodeAccess::AppendChild(*open.back(), std::move(node));
      cursor_.SkipWhitespace();
      SkipComments();
      if (cursor_.AtEnd()) {
        ExpectEndTag(*open.back());
        node = std::move(open.back());
        open.pop_back();
        continue;
      }
    }
    // The content loop of the innermost open element, on the '<' of its next piece.
    cXmlNode& parent = *open.back();
    cursor_.Expect(u'<');
    cursor_.Reread();
    cursor_.SkipWhitespace();
    if (cursor_.Current() == u'/') {
      cursor_.Expect(u'/');
      ExpectEndTagName(parent);
    } else if (cursor_.Current() == u'!' &&
               EqualsIgnoreCase(
                   cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()) - 2, 9),
                   u"<![CDATA[")) {
      ReadCDataSection(parent);
      ExpectEndTag(parent);
    } else {
      node = BeginElement(cursor_.ReadName(), complete);
      continue;
    }
    node = std::move(open.back());
    open.pop_back();
    complete = true;
  }
}

// The start tag after the name, then the content when it is text or nothing. complete is false
// when the content loop (children or a CDATA section) still has to be read.
NodeRef MarkupParser::BeginElement(std::u16string_view name, bool& complete) {
  NodeRef node = std::make_shared<cXmlNode>();
  NodeAccess::SetName(*node, name);
  cursor_.SkipWhitespace();
  ParseAttributes(*node);
  complete = true;
  if (cursor_.Current() != u'>') {
    cursor_.Expect(u'/');
    cursor_.Expect(u'>');
    cursor_.SkipWhitespace();
    return node;
  }
  cursor_.Expect(u'>');
  cursor_.SkipWhitespace();
  SkipComments();
  if (cursor_.Current() != u'<') {
    StoreText(*node, cursor_.ReadText(u'<'));
    ExpectEndTag(*node);
    return node;
  }
  complete = false;
  return node;
}

// Attributes are set in batches, so that an element's properties take one allocation in the
// common case and a long list grows its table a few times only.
void MarkupParser::ParseAttributes(cXmlNode& node) {
  while (cursor_.Current() != u'>' && cursor_.Current() != u'/' && !cursor_.AtEnd()) {
    cursor_.SkipWhitespace();
    if (batchSize_ == batch_.size()) SetAttributes(node);
    Attribute& attribute = batch_[batchSize_++];
    attribute.name = cursor_.ReadName();
    cursor_.Expect(u'=');
    cursor_.Expect(u'"');
    const TextRun value = cursor_.ReadText(u'"');
    if (value.hasReference) {
      attribute.unescapedFrom = unescaped_.size();
      AppendUnescapedMarkup(unescaped_, value.text);
      attribute.length = unescaped_.size() - attribute.unescapedFrom;
    } else {
      attribute.unescapedFrom = kInSource;
      attribute.value = value.text;
      attribute.length = value.text.size();
    }
    batchCharacters_ += attribute.name.size() + attribute.length;
    cursor_.Expect(u'"');
    cursor_.SkipWhitespace();
    // Ends the declaration's "?>"; in a document with a declaration it is also accepted after
    // any attribute value of any element.
    if (cursor_.Current() == u'?' && hasDeclaration_) cursor_.Expect(u'?');
  }
  SetAttributes(node);
}

void MarkupParser::SetAttributes(cXmlNode& node) {
  if (batchSize_ == 0) return;
  NodeAccess::ReserveProperties(node, batchSize_, batchCharacters_);
  const std::u16string_view unescaped = unescaped_;
  for (std::size_t i = 0; i < batchSize_; ++i) {
    const Attribute& attribute = batch_[i];
    const std::u16string_view value =
        attribute.unescapedFrom == kInSource
            ? attribute.value
            : unescaped.substr(attribute.unescapedFrom, attribute.length);
    NodeAccess::SetProperty(node, attribute.name, value);
  }
  batchSize_ = 0;
  batchCharacters_ = 0;
  unescaped_.clear();
}

// On the '!' of a "<![CDATA[" marker written in any letter case; the value keeps the section
// whole, with its markers in upper case and the content as written.
void MarkupParser::ReadCDataSection(cXmlNode& node) {
  cursor_.SkipAndAdvance(7);
  cursor_.SkipWhitespace();
  const std::u16string_view content = cursor_.ReadCData();
  std::u16string value;
  value.reserve(content.size() + 12);
  value += u"<![CDATA[";
  value += content;
  value += u"]]>";
  NodeAccess::SetValue(node, value);
  if (cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()) - 1, 3) != u"]]>") {
    cursor_.RaiseMismatch(u"]]>");
  }
  cursor_.SkipAndAdvance(2);
  cursor_.SkipWhitespace();
}

// The end tag after text, after a CDATA section, or at the end of the source: no whitespace
// is allowed between its '<' and '/'.
void MarkupParser::ExpectEndTag(const cXmlNode& node) {
  cursor_.Expect(u'<');
  cursor_.Expect(u'/');
  ExpectEndTagName(node);
}

void MarkupParser::ExpectEndTagName(const cXmlNode& node) {
  if (!EqualsIgnoreCase(cursor_.ReadName(), node.Name())) cursor_.RaiseMismatch(node.Name());
  cursor_.Expect(u'>');
  cursor_.SkipWhitespace();
}

// Skips comments and the whitespace around them. An unterminated comment runs to the end.
void MarkupParser::SkipComments() {
  while (cursor_.Current() == u'<' &&
         cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()), 3) == u"!--") {
    cursor_.SkipAndAdvance(3);  // past "!--", onto the comment's first character
    for (;;) {
      if (cursor_.Current() == u'-' &&
          cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()), 2) == u"->") {
        break;
      }
      if (cursor_.Current() == u'\r') cursor_.CountLine();
      if (cursor_.AtEnd()) return;  // unterminated: the comment ran to the end
      cursor_.Advance();
    }
    cursor_.SkipAndAdvance(2);
    cursor_.SkipWhitespace();
  }
  cursor_.SkipWhitespace();
}

void MarkupParser::StoreText(cXmlNode& node, const TextRun& run) {
  NodeAccess::SetValue(node, Unescaped(run));
}

std::u16string_view MarkupParser::Unescaped(const TextRun& run) {
  if (!run.hasReference) return run.text;
  unescaped_.clear();
  AppendUnescapedMarkup(unescaped_, run.text);
  return unescaped_;
}

}  // namespace

ParsedDocument ParseMarkup(std::u16string_view text) {
  return MarkupParser(text).ParseDocument();
}

}  // namespace kestrelwing::detail
