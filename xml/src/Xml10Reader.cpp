#include "Xml10Reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "CaseFold.h"
#include "Compiler.h"
#include "Dtd.h"
#include "NodeAccess.h"
#include "NodePool.h"
#include "ParseErrors.h"
#include "SharedName.h"
#include "Xml10Scanner.h"
#include "Xml10Text.h"

namespace kestrelwing::detail {

using namespace std::string_view_literals;
namespace {

constexpr std::u16string_view kDocumentRule = u"[1] document";
constexpr std::u16string_view kStartTagRule = u"[40] STag";
constexpr std::u16string_view kEndTagRule = u"[42] ETag";
constexpr std::u16string_view kDeclarationRule = u"[23] XMLDecl";
constexpr std::u16string_view kDoctypeRule = u"[28] doctypedecl";
constexpr std::u16string_view kContentRule = u"[43] content";
constexpr std::u16string_view kEntityBalanceRule = u"4.3.2 Well-Formed Parsed Entities";

// Equality of two texts, names mostly.
bool Same(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && SameUnits(a, b.data());
}

bool IsAsciiLetter(char16_t c) {
  return (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
}

// The text of an element alone goes into its value, unless the value would then read as a
// CDATA section (Content() looks at the marker): such text stays a text child.
bool LooksLikeCData(std::u16string_view text) {
  return text.size() >= 9 && text[0] == u'<' && StartsWithIgnoreCase(text, u"<![CDATA["sv);
}

class Reader {
 public:
  explicit Reader(std::u16string_view text) : scanner_(text), pool_(text.size()) {}
  ~Reader() {
    for (SharedName* name : kindNames_)
      SharedName::Release(name);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  ParsedDocument Read();

 private:
  struct OpenElement {
    NodeRef node;
    std::u16string_view name;
    std::size_t firstChild;
    std::size_t entityDepth;  // of the text that holds its start tag
  };

  NodeRef ReadDeclaration();
  NodeRef ReadDocumentType();
  // Comments and processing instructions (and, before the root, the document type) into nodes.
  void ReadMisc(std::vector<NodeRef>& nodes, bool beforeRoot);
  NodeRef ReadElementTree();
  NodeRef ReadStartTag(std::u16string_view& name, bool& empty);
  void ReadAttributes(cXmlNode& node, std::u16string_view elementName);
  // ReadAttributeValue for the common value, quoted within the text being read and holding no
  // reference nor white space to normalize, appended to attributeText_; false, and nothing
  // consumed, for any other.
  bool ReadPlainValue();
  void SetAttributes(cXmlNode& node);
  // Whether the attribute of that element is of a tokenized type.
  bool IsTokenized(const std::vector<AttributeDeclaration>* declarations,
                   std::u16string_view name) const;
  void ReadReference();
  void ReadCharData();
  void ReadCDataSection();
  NodeRef Close(std::vector<OpenElement>& open);

  // Character data waits here until something else comes: a view of the source while it is one
  // piece, a buffer once more pieces join it.
  void AddText(std::u16string_view text) {
    if (text.empty()) return;
    if (!textInBuffer_ && pendingText_.empty()) {
      pendingText_ = text;
      return;
    }
    TextBuffer() += text;
  }
  std::u16string& TextBuffer() {
    if (!textInBuffer_) {
      textBuffer_.assign(pendingText_);
      textInBuffer_ = true;
    }
    return textBuffer_;
  }
  std::u16string_view PendingText() const { return textInBuffer_ ? textBuffer_ : pendingText_; }
  void ClearText() {
    pendingText_ = {};
    textBuffer_.clear();
    textInBuffer_ = false;
  }
  // The waiting character data becomes a text child.
  void FlushText() {
    if (PendingText().empty()) return;
    children_.push_back(MakeLeaf(KindText, PendingText()));
    ClearText();
  }

  NodeRef MakeLeaf(NodeKind kind, std::u16string_view value, std::u16string_view name = {});
  SharedName* KindName(NodeKind kind);
  SharedName* NameFor(std::u16string_view name);
  static void StoreValue(cXmlNode& node, std::u16string_view value);

  Xml10Scanner scanner_;
  Dtd dtd_;
  DocumentPool pool_;
  std::vector<NodeRef> children_;  // complete children of the open elements, innermost last
  std::u16string_view pendingText_;
  std::u16string textBuffer_;
  bool textInBuffer_ = false;
  // The attributes of the start tag being read: names and values one after the other.
  std::u16string attributeText_;
  std::vector<std::uint32_t> attributeLengths_;
  NameCache<char16_t>& names_ = NameCachesOfThisThread().text;
  std::array<SharedName*, 3> kindNames_{};  // "#text", "#cdata-section", "#comment"
};

ParsedDocument Reader::Read() {
  ParsedDocument document;
  if (scanner_.LooksAt(u"<?xml"sv) && (IsXmlSpace(scanner_.Peek(5)) || scanner_.Peek(5) == u'?')) {
    document.declaration = ReadDeclaration();
  }
  ReadMisc(document.prolog, /*beforeRoot=*/true);
  if (scanner_.Peek() != u'<' || !IsXmlNameStart(scanner_.Peek(1))) {
    scanner_.Fail(u"The root element was expected"sv, kDocumentRule);
  }
  document.root = ReadElementTree();
  ReadMisc(document.epilog, /*beforeRoot=*/false);
  if (!scanner_.AtEnd()) {
    scanner_.Fail(scanner_.Peek() == u'<' && IsXmlNameStart(scanner_.Peek(1))
                      ? u"A second root element"
                      : u"Only comments and processing instructions may follow the root element",
                  kDocumentRule);
  }
  return document;
}

NodeRef Reader::ReadDeclaration() {
  scanner_.Skip(5);
  NodeRef declaration = MakeNode();
  NodeAccess::SetName(*declaration, u"xml"sv);
  const auto readEq = [&] {
    scanner_.SkipSpace();
    scanner_.Expect(u"="sv, u"[25] Eq"sv);
    scanner_.SkipSpace();
  };
  scanner_.ExpectSpace(u"[24] VersionInfo"sv);
  scanner_.Expect(u"version"sv, u"[24] VersionInfo"sv);
  readEq();
  const std::u16string_view version = scanner_.ReadQuoted(u"[24] VersionInfo"sv);
  if (version.size() < 3 || !version.starts_with(u"1."sv) ||
      !std::all_of(version.begin() + 2, version.end(),
                   [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    scanner_.Fail(u"The version must be 1. and digits"sv, u"[26] VersionNum"sv);
  }
  NodeAccess::SetProperty(*declaration, u"version"sv, version);
  bool spaced = scanner_.SkipSpace();
  if (spaced && scanner_.Accept(u"encoding"sv)) {
    readEq();
    const std::u16string_view encoding = scanner_.ReadQuoted(u"[80] EncodingDecl"sv);
    const bool named = !encoding.empty() && IsAsciiLetter(encoding[0]) &&
                       std::all_of(encoding.begin(), encoding.end(), [](char16_t c) {
                         return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'.' ||
                                c == u'_' || c == u'-';
                       });
    if (!named) scanner_.Fail(u"A malformed encoding name"sv, u"[81] EncName"sv);
    NodeAccess::SetProperty(*declaration, u"encoding"sv, encoding);
    spaced = scanner_.SkipSpace();
  }
  if (spaced && scanner_.Accept(u"standalone"sv)) {
    readEq();
    const std::u16string_view standalone = scanner_.ReadQuoted(u"[32] SDDecl"sv);
    if (standalone != u"yes" && standalone != u"no") {
      scanner_.Fail(u"standalone must be 'yes' or 'no'"sv, u"[32] SDDecl"sv);
    }
    dtd_.standalone = standalone == u"yes";
    NodeAccess::SetProperty(*declaration, u"standalone"sv, standalone);
    scanner_.SkipSpace();
  }
  scanner_.Expect(u"?>"sv, kDeclarationRule);
  return declaration;
}

void Reader::ReadMisc(std::vector<NodeRef>& nodes, bool beforeRoot) {
  bool seenDocumentType = false;
  for (;;) {
    scanner_.SkipSpace();
    if (scanner_.Accept(u"<!--"sv)) {
      nodes.push_back(MakeLeaf(KindComment, scanner_.ReadComment()));
    } else if (scanner_.Accept(u"<?"sv)) {
      const Xml10Scanner::Instruction instruction = scanner_.ReadInstruction();
      nodes.push_back(MakeLeaf(KindProcessingInstruction, instruction.data, instruction.target));
    } else if (beforeRoot && scanner_.Accept(u"<!DOCTYPE"sv)) {
      if (seenDocumentType) scanner_.Fail(u"A second document type"sv, kDocumentRule);
      seenDocumentType = true;
      nodes.push_back(ReadDocumentType());
    } else {
      return;
    }
  }
}

NodeRef Reader::ReadDocumentType() {
  scanner_.ExpectSpace(kDoctypeRule);
  const std::u16string_view name = scanner_.ReadName(kDoctypeRule);
  NodeRef node = MakeNode();
  NodeAccess::SetKind(*node, KindDocumentType);
  NodeAccess::SetName(*node, name);
  ExternalId id;
  if (scanner_.SkipSpace() && ReadExternalId(scanner_, id)) {
    dtd_.hasExternalSubset = true;
    if (id.isPublic) NodeAccess::SetProperty(*node, u"PUBLIC"sv, id.publicId);
    NodeAccess::SetProperty(*node, u"SYSTEM"sv, id.systemId);
    scanner_.SkipSpace();
  }
  if (scanner_.Accept(u"["sv)) {
    const std::size_t start = scanner_.Position();
    ReadInternalSubset(scanner_, dtd_);
    StoreValue(*node, scanner_.Since(start));
    scanner_.Expect(u"]"sv, kDoctypeRule);
    scanner_.SkipSpace();
  }
  scanner_.Expect(u">"sv, kDoctypeRule);
  return node;
}

// Elements whose content is being read wait on an explicit stack, so depth is bounded by memory.
// A complete child waits in children_ until its parent is complete.
NodeRef Reader::ReadElementTree() {
  std::vector<OpenElement> open;
  std::u16string_view name;
  bool empty = false;
  scanner_.Skip(1);
  NodeRef node = ReadStartTag(name, empty);
  if (empty) return node;
  open.push_back({std::move(node), name, 0, 0});
  for (;;) {
    if (scanner_.AtEnd()) {
      if (!scanner_.InEntity()) {
        scanner_.Fail(u"The element '" + std::u16string(open.back().name) + u"' is not closed",
                      u"[39] element");
      }
      if (open.back().entityDepth == scanner_.EntityDepth()) {
        scanner_.Fail(u"The element '" + std::u16string(open.back().name) +
                          u"' is not closed within the entity that opened it",
                      kEntityBalanceRule);
      }
      scanner_.PopEntity();
      continue;
    }
    const char16_t c = scanner_.Peek();
    if (c == u'&') {
      ReadReference();
      continue;
    }
    if (c != u'<') {
      ReadCharData();
      continue;
    }
    const char16_t next = scanner_.Peek(1);
    if (next == u'/') {
      scanner_.Skip(2);
      const std::u16string_view startName = open.back().name;
      std::u16string_view endName = startName;
      // Nearly every end tag is the start tag's name and '>' at once.
      if (scanner_.Peek(startName.size()) == u'>' &&
          Same(scanner_.Rest().substr(0, startName.size()), startName)) {
        scanner_.Skip(startName.size() + 1);
      } else {
        endName = scanner_.ReadName(kEndTagRule);
        scanner_.SkipSpace();
        scanner_.Expect(u">"sv, kEndTagRule);
        if (!Same(endName, startName)) {
          scanner_.Fail(u"The end tag '" + std::u16string(endName) +
                            u"' does not match the start "
                            u"tag '" +
                            std::u16string(startName) + u"'",
                        u"WFC: Element Type Match");
        }
      }
      if (open.back().entityDepth != scanner_.EntityDepth()) {
        scanner_.Fail(u"The end tag of '" + std::u16string(endName) +
                          u"' lies in another entity than its start tag",
                      kEntityBalanceRule);
      }
      node = Close(open);
      if (open.empty()) return node;
      children_.push_back(std::move(node));
    } else if (next == u'!') {
      if (scanner_.Accept(u"<!--"sv)) {
        FlushText();
        children_.push_back(MakeLeaf(KindComment, scanner_.ReadComment()));
      } else if (scanner_.Accept(u"<![CDATA["sv)) {
        ReadCDataSection();
      } else {
        scanner_.Fail(u"'<!' starts neither a comment nor a CDATA section here"sv, kContentRule);
      }
    } else if (next == u'?') {
      scanner_.Skip(2);
      FlushText();
      const Xml10Scanner::Instruction instruction = scanner_.ReadInstruction();
      children_.push_back(
          MakeLeaf(KindProcessingInstruction, instruction.data, instruction.target));
    } else {
      scanner_.Skip(1);
      FlushText();
      node = ReadStartTag(name, empty);
      if (empty) {
        children_.push_back(std::move(node));
      } else {
        open.push_back({std::move(node), name, children_.size(), scanner_.EntityDepth()});
      }
    }
  }
}

// Takes the innermost open element off the stack with its waiting children and text.
NodeRef Reader::Close(std::vector<OpenElement>& open) {
  NodeRef node = std::move(open.back().node);
  const std::size_t first = open.back().firstChild;
  open.pop_back();
  if (first == children_.size() && !LooksLikeCData(PendingText())) {
    StoreValue(*node, PendingText());  // text alone, or nothing
    ClearText();
    return node;
  }
  FlushText();
  NodeAccess::AdoptChildren(*node, std::span<NodeRef>(children_).subspan(first));
  children_.resize(first);
  return node;
}

// After the '<': the name and attributes, through '>' or "/>".
NodeRef Reader::ReadStartTag(std::u16string_view& name, bool& empty) {
  name = scanner_.ReadName(kStartTagRule);
  NodeRef node = MakeNode();
  NodeAccess::ShareName(*node, NameFor(name));
  ReadAttributes(*node, name);
  empty = scanner_.Peek() == u'/';
  scanner_.Skip(empty ? 2 : 1);
  return node;
}

bool Reader::IsTokenized(const std::vector<AttributeDeclaration>* declarations,
                         std::u16string_view name) const {
  if (declarations == nullptr) return false;
  const auto found = std::find_if(declarations->begin(), declarations->end(),
                                  [&](const AttributeDeclaration& d) { return d.name == name; });
  return found != declarations->end() && found->tokenized;
}

// Leaves the scanner on the '>' or "/>" that ends the tag.
void Reader::ReadAttributes(cXmlNode& node, std::u16string_view elementName) {
  attributeText_.clear();
  attributeLengths_.clear();
  const std::vector<AttributeDeclaration>* declarations = dtd_.AttributesOf(elementName);
  for (;;) {
    const bool spaced = scanner_.SkipSpace();
    const char16_t c = scanner_.Peek();
    if (c == u'>' || (c == u'/' && scanner_.Peek(1) == u'>')) break;
    if (!spaced) {
      scanner_.Fail(scanner_.AtEnd() ? std::u16string_view(u"The start tag is not closed"sv)
                    : IsXmlNameStart(c)
                        ? std::u16string_view(u"White space is required between attributes"sv)
                        : std::u16string_view(u"'>' or '/>' was expected"sv),
                    kStartTagRule);
    }
    const std::u16string_view attributeName = scanner_.ReadName(u"[41] Attribute"sv);
    attributeText_ += attributeName;
    scanner_.SkipSpace();
    scanner_.Expect(u"="sv, u"[25] Eq"sv);
    scanner_.SkipSpace();
    const std::size_t valueStart = attributeText_.size();
    if (!ReadPlainValue()) ReadAttributeValue(scanner_, dtd_, attributeText_);
    if (IsTokenized(declarations, attributeName)) CollapseSpaces(attributeText_, valueStart);
    attributeLengths_.push_back(static_cast<std::uint32_t>(attributeName.size()));
    attributeLengths_.push_back(static_cast<std::uint32_t>(attributeText_.size() - valueStart));
  }
  if (declarations != nullptr) {
    for (const AttributeDeclaration& declaration : *declarations) {
      if (!declaration.hasDefault) continue;
      bool specified = false;
      std::size_t at = 0;
      for (std::size_t i = 0; i < attributeLengths_.size() && !specified; i += 2) {
        specified = std::u16string_view(attributeText_).substr(at, attributeLengths_[i]) ==
                    declaration.name;
        at += std::size_t{attributeLengths_[i]} + attributeLengths_[i + 1];
      }
      if (specified) continue;
      attributeText_ += declaration.name;
      attributeText_ += declaration.defaultValue;
      attributeLengths_.push_back(static_cast<std::uint32_t>(declaration.name.size()));
      attributeLengths_.push_back(static_cast<std::uint32_t>(declaration.defaultValue.size()));
    }
  }
  SetAttributes(node);
}

bool Reader::ReadPlainValue() {
  const std::u16string_view rest = scanner_.Rest();
  if (rest.empty() || (rest[0] != u'"' && rest[0] != u'\'')) return false;
  const std::size_t end = FindUnit(rest, 1, rest[0], u'<', u'&', /*controls=*/true);
  if (end == rest.size() || rest[end] != rest[0]) return false;
  attributeText_.append(rest.data() + 1, end - 1);
  scanner_.Skip(end + 1);
  return true;
}

// The properties of a node are unique ignoring letter case, so names that differ only in case,
// which XML allows, cannot both be held: that is refused rather than one of them lost.
void Reader::SetAttributes(cXmlNode& node) {
  if (attributeLengths_.empty()) return;
  if (attributeText_.size() > UINT32_MAX) throw std::length_error("attributes too long");
  if (NodeAccess::AdoptProperties(node, attributeText_, attributeLengths_)) return;
  std::vector<std::u16string_view> names;
  std::size_t at = 0;
  for (std::size_t i = 0; i < attributeLengths_.size(); i += 2) {
    names.push_back(std::u16string_view(attributeText_).substr(at, attributeLengths_[i]));
    at += std::size_t{attributeLengths_[i]} + attributeLengths_[i + 1];
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = i + 1; j < names.size(); ++j) {
      if (names[i] == names[j]) {
        scanner_.Fail(u"The attribute '" + std::u16string(names[i]) + u"' appears twice",
                      u"WFC: Unique Attributes");
      }
      if (EqualsIgnoreCase(names[i], names[j])) {
        scanner_.Fail(u"The attributes '" + std::u16string(names[i]) + u"' and '" +
                          std::u16string(names[j]) +
                          u"' differ only in letter case, and a node's property names are "
                          u"unique ignoring case",
                      u"[41] Attribute");
      }
    }
  }
}

void Reader::ReadReference() {
  scanner_.Skip(1);
  const std::u16string_view name = scanner_.ReadReference(TextBuffer());
  if (name.empty()) return;
  if (const char16_t predefined = Xml10Scanner::PredefinedEntity(name)) {
    TextBuffer() += predefined;
    return;
  }
  const auto found = dtd_.generalEntities.find(name);
  if (found == dtd_.generalEntities.end()) {
    if (dtd_.EntitiesMustBeDeclared()) {
      scanner_.Fail(u"The entity '" + std::u16string(name) + u"' is not declared",
                    u"WFC: Entity Declared");
    }
    return;  // declared, perhaps, where a non-validating processor does not read
  }
  Entity& entity = found->second;
  if (entity.unparsed) {
    scanner_.Fail(u"A reference to the unparsed entity '" + entity.name + u"'",
                  u"WFC: Parsed Entity");
  }
  if (entity.external) return;  // external parsed entities are never read
  scanner_.PushEntity(entity);
}

void Reader::ReadCharData() {
  const std::u16string_view rest = scanner_.Rest();
  std::size_t run = 0;
  for (;;) {
    run = FindUnit(rest, run, u'<', u'&', u']', /*controls=*/false);
    if (run == rest.size() || rest[run] != u']') break;
    if (rest.substr(run).starts_with(u"]]>"sv)) {
      scanner_.Skip(run);
      scanner_.Fail(u"']]>' in character data"sv, u"[14] CharData"sv);
    }
    ++run;
  }
  scanner_.Skip(run);
  AddText(rest.substr(0, run));
}

void Reader::ReadCDataSection() {
  const std::u16string_view rest = scanner_.Rest();
  const std::size_t end = rest.find(u"]]>"sv);
  if (end == std::u16string_view::npos) {
    scanner_.Fail(u"The CDATA section is not closed"sv, u"[18] CDSect"sv);
  }
  FlushText();
  children_.push_back(MakeLeaf(KindCData, rest.substr(0, end)));
  scanner_.Skip(end + 3);
}

NodeRef Reader::MakeLeaf(NodeKind kind, std::u16string_view value, std::u16string_view name) {
  NodeRef node = MakeNode();
  NodeAccess::SetKind(*node, kind);
  NodeAccess::ShareName(*node, kind == KindProcessingInstruction ? NameFor(name) : KindName(kind));
  StoreValue(*node, value);
  return node;
}

SharedName* Reader::KindName(NodeKind kind) {
  const std::size_t slot = kind == KindText ? 0 : kind == KindCData ? 1 : 2;
  SharedName*& name = kindNames_[slot];
  if (name == nullptr) {
    name = SharedName::Make(kind == KindText    ? u"#text"
                            : kind == KindCData ? u"#cdata-section"
                                                : u"#comment");
  }
  SharedName::Retain(name);
  return name;
}

SharedName* Reader::NameFor(std::u16string_view name) {
  return names_.For(name, [](std::u16string_view spelling) { return std::u16string(spelling); });
}

void Reader::StoreValue(cXmlNode& node, std::u16string_view value) {
  if (value.empty()) return;
  if (value.size() > UINT32_MAX) throw std::length_error("value too long");
  char16_t* const text = NodeAccess::NewValue(value.size());
  std::copy(value.begin(), value.end(), text);
  NodeAccess::ReplaceValue(node, text, value.size());
}

ParsedDocument ReadPrepared(const Xml10Text& prepared) {
  if (prepared.failed) {
    Xml10Scanner::FailAt(prepared.text.view(), prepared.error.offset, prepared.error.what,
                         prepared.error.rule);
  }
  return Reader(prepared.text.view()).Read();
}

}  // namespace

ParsedDocument ParseXml10(std::span<const std::uint8_t> bytes, std::int32_t& encodingId) {
  const Xml10Text prepared = DecodeXml10(bytes);
  encodingId = prepared.encodingId;
  return ReadPrepared(prepared);
}

ParsedDocument ParseXml10(std::u16string_view text) {
  return ReadPrepared(PrepareXml10(text));
}

}  // namespace kestrelwing::detail
