#include "MarkupReader.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "CaseFold.h"
#include "Cursor.h"
#include "Encodings.h"
#include "Escaping.h"
#include "NodeAccess.h"
#include "NodePool.h"
#include "SharedName.h"

namespace kestrelwing::detail {
namespace {

using detail::EqualsIgnoreCase;

constexpr std::u16string_view kCDataOpen = u"<![CDATA[";
constexpr std::u16string_view kCDataClose = u"]]>";

// Names hold ASCII characters only, so the markers and end-tag names are matched by ASCII case
// folding over bytes; over text the general rule applies.
bool EqualsIgnoreCase(std::string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t c = static_cast<unsigned char>(a[i]);
    if (c != b[i] && !(IsLetter(c) && (c | 0x20) == (b[i] | 0x20))) return false;
  }
  return true;
}

bool Equals(std::string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char16_t y) { return static_cast<unsigned char>(x) == y; });
}
bool Equals(std::u16string_view a, std::u16string_view b) {
  return a == b;
}

// Names, and the values of plain attributes, hold ASCII characters only, so over bytes they are
// widened as they stand.
template <typename Unit>
void WidenName(std::basic_string_view<Unit> name, char16_t* out) {
  if constexpr (std::is_same_v<Unit, char16_t>) {
    std::copy(name.begin(), name.end(), out);
  } else {
    WidenAscii({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}, out);
  }
}

// Unit is char16_t over text and char over the bytes of a document (see Cursor.h).
template <typename Unit>
class MarkupParser {
 public:
  using View = std::basic_string_view<Unit>;
  using TextRun = BasicTextRun<Unit>;

  explicit MarkupParser(View text, const std::array<char16_t, 256>* narrowTable = nullptr)
      : cursor_(text), narrowTable_(narrowTable), pool_(text.size()) {
    children_.reserve(kFirstRoom);  // so that a small document rarely grows it
  }
  MarkupParser(const MarkupParser&) = delete;
  MarkupParser& operator=(const MarkupParser&) = delete;

  ParsedDocument ParseDocument();

 private:
  // An element whose content is being read; its children so far lie in children_ from
  // firstChild on.
  struct OpenElement {
    NodeRef node;
    View name;  // as the start tag spells it
    std::size_t firstChild;
  };

  NodeRef ParseElementTree(View rootName);
  NodeRef Close(std::vector<OpenElement>& open);
  // The shared name for an element name, held once for the caller.
  SharedName* NameFor(View name);
  NodeRef BeginElement(View name, bool& complete);
  void ParseAttributes(cXmlNode& node);
  // Answers whether the batch became the element's table as it stands, taking no more room
  // than it needs.
  bool SetAttributes(cXmlNode& node);
  void ReadCDataSection(cXmlNode& node);
  // The end tag of node, whose start tag spelled its name startName.
  void ExpectEndTag(const cXmlNode& node, View startName);
  void ExpectEndTagName(const cXmlNode& node, View startName);
  // Skips comments and the whitespace after each, where whitespace was just skipped. Inline:
  // most places have no comment.
  void SkipComments() {
    if (cursor_.Current() == '<' && cursor_.Next() == '!') SkipCommentRun();
  }
  // SkipComments from a '<' followed by '!', which may start a comment or not.
  void SkipCommentRun();
  // Reads the text of node in one pass, widened straight into the value, when it is plain ASCII
  // (see BasicCursor::ReadPlainText) and fits where the pool carves next; otherwise false, and
  // nothing moves.
  bool ReadPlainText(cXmlNode& node);
  void StoreText(cXmlNode& node, const TextRun& run);
  // Gives node a value that write(room) puts into room for units characters; write answers how
  // many it wrote and must not throw.
  template <typename Write>
  void StoreValue(cXmlNode& node, std::size_t units, Write write);
  // Writes the text of run to out, which has room for run.text.size() units: decoded, then
  // unescaped when it holds references. Answers how many units it wrote.
  std::size_t WriteText(const TextRun& run, char16_t* out) noexcept;
  // Writes the decoded run to out, which has room for run.size() units; answers how many.
  std::size_t DecodeInto(View run, char16_t* out) noexcept;
  // Append a name or a run to the batch's text and answer its length there.
  std::uint32_t AppendAttributeName(View name);
  std::uint32_t AppendAttributeText(const TextRun& run);
  // Room for units more characters in the batch's text, then the number written there.
  char16_t* AttributeRoom(std::size_t units);
  std::uint32_t CommitAttributeText(std::size_t units);

  // The attributes read from a start tag but not yet set: their names and values lie one after
  // the other in attributeText_ (its first attributeUsed_ units; the rest is room), their
  // lengths in attributeLengths_, name and value for each.
  static constexpr std::size_t kBatch = 16;
  // Room for the attributes of most start tags (and a declaration's) at once.
  static constexpr std::size_t kFirstAttributeText = 256;
  // Room for the children and open elements of most documents at once.
  static constexpr std::size_t kFirstRoom = 64;

  BasicCursor<Unit> cursor_;
  const std::array<char16_t, 256>* narrowTable_;  // for bytes: none means UTF-8
  DocumentPool pool_;  // the nodes, their child lists and property tables
  bool hasDeclaration_ = false;
  std::array<std::uint32_t, 2 * kBatch> attributeLengths_{};
  std::array<View, 2 * kBatch> plainPairs_;  // names and values of plain attributes just read
  std::size_t batchSize_ = 0;
  std::u16string attributeText_;
  std::size_t attributeUsed_ = 0;
  std::vector<NodeRef> children_;  // complete children of the open elements, innermost last
  NameCache<Unit>& names_ = NameCachesOfThisThread().For<Unit>();
};

template <typename Unit>
ParsedDocument MarkupParser<Unit>::ParseDocument() {
  ParsedDocument document;
  cursor_.Advance();
  cursor_.SkipWhitespace();
  SkipComments();
  cursor_.Expect('<');
  if (cursor_.Current() == '?') {
    cursor_.Expect('?');
    if (!EqualsIgnoreCase(cursor_.ReadName(), u"xml")) cursor_.RaiseExpected(u"xml");
    hasDeclaration_ = true;
    document.declaration = MakeNode();
    NodeAccess::SetName(*document.declaration, u"xml");
    ParseAttributes(*document.declaration);
    cursor_.Advance();  // the character that ended the list, normally '>', goes unchecked
    cursor_.SkipWhitespace();
    SkipComments();
    cursor_.Expect('<');
    cursor_.Reread();
  }
  document.root = ParseElementTree(cursor_.ReadName());
  return document;
}

// Reads an element and everything inside it. Elements whose content is still being read wait
// on an explicit stack, so the depth of a document is bounded by memory, not by the thread's
// stack. A complete child waits in children_ until its parent is complete, which then takes all
// its children at once into a list of exactly their number.
template <typename Unit>
NodeRef MarkupParser<Unit>::ParseElementTree(View rootName) {
  std::vector<OpenElement> open;
  open.reserve(kFirstRoom);
  bool complete = false;
  View name = rootName;
  NodeRef node = BeginElement(name, complete);
  for (;;) {
    if (!complete) {
      open.push_back({std::move(node), name, children_.size()});
    } else {
      if (open.empty()) return node;
      children_.push_back(std::move(node));
      cursor_.SkipWhitespace();
      SkipComments();
      if (cursor_.AtEnd()) {
        ExpectEndTag(*open.back().node, open.back().name);
        node = Close(open);
        continue;
      }
    }
    // The content loop of the innermost open element, on the '<' of its next piece.
    cXmlNode& parent = *open.back().node;
    const View parentName = open.back().name;
    cursor_.Expect('<');
    cursor_.Reread();
    cursor_.SkipWhitespace();
    if (cursor_.Current() == '/') {
      cursor_.Expect('/');
      ExpectEndTagName(parent, parentName);
    } else if (cursor_.Current() == '!' &&
               EqualsIgnoreCase(
                   cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()) - 2, 9),
                   kCDataOpen)) {
      ReadCDataSection(parent);
      ExpectEndTag(parent, parentName);
    } else {
      name = cursor_.ReadName();
      node = BeginElement(name, complete);
      continue;
    }
    node = Close(open);
    complete = true;
  }
}

// Takes the innermost open element off the stack with its waiting children.
template <typename Unit>
NodeRef MarkupParser<Unit>::Close(std::vector<OpenElement>& open) {
  NodeRef node = std::move(open.back().node);
  const std::size_t first = open.back().firstChild;
  open.pop_back();
  if (first < children_.size()) {
    NodeAccess::AdoptChildren(*node, std::span<NodeRef>(children_).subspan(first));
    children_.resize(first);
  }
  return node;
}

template <typename Unit>
SharedName* MarkupParser<Unit>::NameFor(View name) {
  return names_.For(name, [](View spelling) {
    std::u16string text(spelling.size(), u'\0');
    WidenName(spelling, text.data());
    return text;
  });
}

// The start tag after the name, then the content when it is text or nothing. complete is false
// when the content loop (children or a CDATA section) still has to be read.
template <typename Unit>
NodeRef MarkupParser<Unit>::BeginElement(View name, bool& complete) {
  NodeRef node = MakeNode();
  NodeAccess::ShareName(*node, NameFor(name));
  cursor_.SkipWhitespace();
  ParseAttributes(*node);
  complete = true;
  if (cursor_.Current() != '>') {
    cursor_.Expect('/');
    cursor_.Expect('>');
    cursor_.SkipWhitespace();
    return node;
  }
  cursor_.Expect('>');
  cursor_.SkipWhitespace();
  SkipComments();
  if (cursor_.Current() != '<') {
    if (!ReadPlainText(*node)) StoreText(*node, cursor_.ReadText('<'));
    ExpectEndTag(*node, name);
    return node;
  }
  complete = false;
  return node;
}

// Attributes are set in batches, so that an element's properties take one allocation in the
// common case and a long list grows its table a few times only.
template <typename Unit>
void MarkupParser<Unit>::ParseAttributes(cXmlNode& node) {
  bool exact = true;
  const auto makeRoom = [&] {
    if (batchSize_ == kBatch) {
      SetAttributes(node);
      exact = false;  // the next batch grows the table
    }
  };
  // Plain names and values are ASCII, widened as they stand; a value is then unescaped when it
  // holds references.
  const auto takePlain = [&](View name, View value, bool hasReference) {
    makeRoom();
    char16_t* const out = AttributeRoom(name.size() + value.size());
    WidenName(name, out);
    WidenName(value, out + name.size());
    attributeLengths_[2 * batchSize_] = CommitAttributeText(name.size());
    attributeLengths_[2 * batchSize_ + 1] = CommitAttributeText(
        hasReference ? UnescapeInPlace(out + name.size(), value.size()) : value.size());
    ++batchSize_;
    return true;
  };
  const auto atTagEnd = [this] {
    return cursor_.Current() == '>' || cursor_.Current() == '/' || cursor_.AtEnd();
  };
  const auto endAttribute = [this] {
    cursor_.SkipWhitespace();
    // Ends the declaration's "?>"; in a document with a declaration it is also accepted after
    // any attribute value of any element.
    if (cursor_.Current() == '?' && hasDeclaration_) cursor_.Expect('?');
  };
  if (atTagEnd()) return;  // most elements have no attributes
  if constexpr (std::is_same_v<Unit, char>) {
    // Most start tags hold plain attributes alone, a few of them: their names and values are
    // widened once, straight into the element's table.
    std::size_t count = 0;
    std::uint32_t referenced = 0;  // bit i for pair i
    if (cursor_.ReadPlainAttributes([&](View name, View value, bool hasReference) {
          plainPairs_[2 * count] = name;
          plainPairs_[2 * count + 1] = value;
          referenced |= std::uint32_t{hasReference} << count;
          return ++count < kBatch;
        })) {
      endAttribute();
      const std::span<const View> read(plainPairs_.data(), 2 * count);
      if (atTagEnd() &&
          NodeAccess::AdoptAsciiProperties(node, read, referenced, &UnescapeInPlace)) {
        return;
      }
      for (std::size_t i = 0; i < read.size(); i += 2)
        takePlain(read[i], read[i + 1], (referenced >> (i / 2) & 1) != 0);
    }
  }
  while (!atTagEnd()) {
    cursor_.SkipWhitespace();
    if (!cursor_.ReadPlainAttributes(takePlain)) {
      makeRoom();
      attributeLengths_[2 * batchSize_] = AppendAttributeName(cursor_.ReadName());
      cursor_.Expect('=');
      cursor_.Expect('"');
      attributeLengths_[2 * batchSize_ + 1] = AppendAttributeText(cursor_.ReadText('"'));
      cursor_.Expect('"');
      ++batchSize_;
    }
    endAttribute();
  }
  if (!SetAttributes(node) || !exact) NodeAccess::CompactProperties(node);
}

template <typename Unit>
std::uint32_t MarkupParser<Unit>::AppendAttributeName(View name) {
  WidenName(name, AttributeRoom(name.size()));
  return CommitAttributeText(name.size());
}

template <typename Unit>
std::uint32_t MarkupParser<Unit>::AppendAttributeText(const TextRun& run) {
  return CommitAttributeText(WriteText(run, AttributeRoom(run.text.size())));
}

template <typename Unit>
char16_t* MarkupParser<Unit>::AttributeRoom(std::size_t units) {
  if (attributeText_.size() - attributeUsed_ < units) {
    attributeText_.resize(
        std::max({kFirstAttributeText, 2 * attributeText_.size(), attributeUsed_ + units}));
  }
  return attributeText_.data() + attributeUsed_;
}

template <typename Unit>
std::uint32_t MarkupParser<Unit>::CommitAttributeText(std::size_t units) {
  if (units > UINT32_MAX) throw std::length_error("attribute too long");
  attributeUsed_ += units;
  return static_cast<std::uint32_t>(units);
}

// A first batch of names that differ from each other becomes the element's table at once; the
// rest go through the ordinary rules (a repeated name replaces the value).
template <typename Unit>
bool MarkupParser<Unit>::SetAttributes(cXmlNode& node) {
  if (batchSize_ == 0) return true;
  const std::u16string_view text(attributeText_.data(), attributeUsed_);
  const std::span<const std::uint32_t> lengths(attributeLengths_.data(), 2 * batchSize_);
  const bool adopted = NodeAccess::AdoptProperties(node, text, lengths);
  if (!adopted) {
    NodeAccess::ReserveProperties(node, batchSize_, text.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < lengths.size(); i += 2) {
      const std::u16string_view name = text.substr(at, lengths[i]);
      const std::u16string_view value = text.substr(at + lengths[i], lengths[i + 1]);
      NodeAccess::SetProperty(node, name, value);
      at += std::size_t{lengths[i]} + lengths[i + 1];
    }
  }
  batchSize_ = 0;
  attributeUsed_ = 0;
  return adopted;
}

// On the '!' of a "<![CDATA[" marker written in any letter case; the value keeps the section
// whole, with its markers in upper case and the content as written.
template <typename Unit>
void MarkupParser<Unit>::ReadCDataSection(cXmlNode& node) {
  cursor_.SkipAndAdvance(7);
  cursor_.SkipWhitespace();
  const View content = cursor_.ReadCData();
  StoreValue(
      node, kCDataOpen.size() + content.size() + kCDataClose.size(), [&](char16_t* room) noexcept {
        char16_t* end = std::copy(kCDataOpen.begin(), kCDataOpen.end(), room);
        end += DecodeInto(content, end);
        return static_cast<std::size_t>(std::copy(kCDataClose.begin(), kCDataClose.end(), end) -
                                        room);
      });
  if (!Equals(cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()) - 1, 3), kCDataClose)) {
    cursor_.RaiseMismatch(kCDataClose);
  }
  cursor_.SkipAndAdvance(2);
  cursor_.SkipWhitespace();
}

// The end tag after text, after a CDATA section, or at the end of the source: no whitespace
// is allowed between its '<' and '/'.
template <typename Unit>
void MarkupParser<Unit>::ExpectEndTag(const cXmlNode& node, View startName) {
  cursor_.Expect('<');
  cursor_.Expect('/');
  ExpectEndTagName(node, startName);
}

// Most end tags spell the name as the start tag did, with the '>' right after it, which is
// checked against the source alone.
template <typename Unit>
void MarkupParser<Unit>::ExpectEndTagName(const cXmlNode& node, View startName) {
  if (!cursor_.ReadEndTagIf(startName)) {
    if (!EqualsIgnoreCase(cursor_.ReadName(), node.Name())) cursor_.RaiseMismatch(node.Name());
    cursor_.Expect('>');
  }
  cursor_.SkipWhitespace();
}

// An unterminated comment runs to the end.
template <typename Unit>
void MarkupParser<Unit>::SkipCommentRun() {
  while (cursor_.Current() == '<' && cursor_.Next() == '!' &&
         Equals(cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()), 3), u"!--")) {
    cursor_.SkipAndAdvance(3);  // past "!--", onto the comment's first character
    for (;;) {
      if (cursor_.Current() == '-' &&
          Equals(cursor_.Peek(static_cast<std::ptrdiff_t>(cursor_.Position()), 2), u"->")) {
        break;
      }
      if (cursor_.Current() == '\r') cursor_.CountLine();
      if (cursor_.AtEnd()) return;  // unterminated: the comment ran to the end
      cursor_.Advance();
    }
    cursor_.SkipAndAdvance(2);
    cursor_.SkipWhitespace();
  }
  cursor_.SkipWhitespace();
}

template <typename Unit>
bool MarkupParser<Unit>::ReadPlainText(cXmlNode& node) {
  const std::span<std::byte> room = NodePool::NextRoom();
  auto* const out = reinterpret_cast<char16_t*>(room.data());
  const std::size_t units = cursor_.ReadPlainText(out, room.size() / sizeof(char16_t));
  if (units == View::npos) return false;
  char16_t* const value = NodeAccess::NewValue(units);
  assert(value == out);  // nothing was carved since NextRoom, and the text fits
  NodeAccess::ReplaceValue(node, value, units);
  return true;
}

template <typename Unit>
void MarkupParser<Unit>::StoreText(cXmlNode& node, const TextRun& run) {
  StoreValue(node, run.text.size(), [&](char16_t* room) noexcept { return WriteText(run, room); });
}

// Written straight into the value, whose room is cut to what the text took: multi-byte characters
// and references make it shorter than the run. The room was the pool's last block, or is copied.
template <typename Unit>
template <typename Write>
void MarkupParser<Unit>::StoreValue(cXmlNode& node, std::size_t units, Write write) {
  char16_t* const text = NodeAccess::NewValue(units);
  const std::size_t written = write(text);
  NodeAccess::ReplaceValue(node, text, written);
  if (written < units &&
      !NodePool::ShrinkLast(text, units * sizeof(char16_t), written * sizeof(char16_t))) {
    node.SetValue(node.Value());  // into a block of its own size
  }
}

// The references are ASCII, so unescaping after decoding gives what it gives on the text.
template <typename Unit>
std::size_t MarkupParser<Unit>::WriteText(const TextRun& run, char16_t* out) noexcept {
  const std::size_t decoded = DecodeInto(run.text, out);
  return run.hasReference ? UnescapeInPlace(out, decoded) : decoded;
}

template <typename Unit>
std::size_t MarkupParser<Unit>::DecodeInto(View run, char16_t* out) noexcept {
  if constexpr (std::is_same_v<Unit, char16_t>) {
    std::copy(run.begin(), run.end(), out);
    return run.size();
  } else {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(run.data()),
                                              run.size());
    if (narrowTable_ == nullptr) return Utf8ToUnits(bytes, out);
    for (std::size_t i = WidenAscii(bytes, out); i < bytes.size(); ++i)
      out[i] = (*narrowTable_)[bytes[i]];
    return bytes.size();
  }
}

}  // namespace

ParsedDocument ParseMarkup(std::u16string_view text) {
  return MarkupParser<char16_t>(text).ParseDocument();
}

ParsedDocument ParseMarkup(std::string_view bytes, const std::array<char16_t, 256>* narrowTable) {
  return MarkupParser<char>(bytes, narrowTable).ParseDocument();
}

}  // namespace kestrelwing::detail
