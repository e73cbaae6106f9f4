#include "Canonical.h"

#include <algorithm>
#include <cstdint>

namespace kestrelwing::conformance {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Reads DTD text from left to right.
class DtdScanner {
 public:
  explicit DtdScanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return position_ >= text_.size(); }
  bool StartsWith(std::string_view prefix) const {
    return text_.substr(position_).starts_with(prefix);
  }
  void Skip(std::size_t count) { position_ = std::min(text_.size(), position_ + count); }
  // The text up to the next occurrence of marker; moves past that, or to the end without one.
  std::string_view Through(std::string_view marker) {
    const std::size_t start = position_;
    const std::size_t found = text_.find(marker, position_);
    position_ = found == std::string_view::npos ? text_.size() : found + marker.size();
    return text_.substr(start, (found == std::string_view::npos ? text_.size() : found) - start);
  }
  void SkipPast(std::string_view marker) { Through(marker); }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(text_[position_]))
      ++position_;
  }
  // A run up to white space, '>' or a quote.
  std::string_view Word() {
    const std::size_t start = position_;
    while (!AtEnd() && !IsSpace(text_[position_]) && text_[position_] != '>' &&
           text_[position_] != '"' && text_[position_] != '\'') {
      ++position_;
    }
    return text_.substr(start, position_ - start);
  }
  // A quoted literal without its quotes; false when none starts here.
  bool Literal(std::string& value) {
    if (AtEnd() || (text_[position_] != '"' && text_[position_] != '\'')) return false;
    const char quote = text_[position_++];
    const std::size_t end = text_.find(quote, position_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    value.assign(text_.substr(position_, stop - position_));
    position_ = std::min(text_.size(), stop + 1);
    return true;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

std::string NormalizedPublicId(std::string_view id) {
  std::string result;
  bool pendingSpace = false;
  for (const char c : id) {
    if (IsSpace(c)) {
      pendingSpace = !result.empty();
      continue;
    }
    if (pendingSpace) result += ' ';
    pendingSpace = false;
    result += c;
  }
  return result;
}

// The rest of a <!NOTATION declaration, the scanner just past its keyword.
Notation ReadNotation(DtdScanner& scanner) {
  Notation notation;
  scanner.SkipSpace();
  notation.name = scanner.Word();
  scanner.SkipSpace();
  const std::string_view keyword = scanner.Word();
  scanner.SkipSpace();
  if (keyword == "PUBLIC") {
    notation.hasPublic = scanner.Literal(notation.publicId);
    notation.publicId = NormalizedPublicId(notation.publicId);
    scanner.SkipSpace();
    notation.hasSystem = scanner.Literal(notation.systemId);
  } else if (keyword == "SYSTEM") {
    notation.hasSystem = scanner.Literal(notation.systemId);
  }
  scanner.SkipPast(">");
  return notation;
}

// The rest of a processing instruction, the scanner just past its "<?".
Instruction ReadInstruction(DtdScanner& scanner) {
  Instruction instruction;
  const std::string_view whole = scanner.Through("?>");
  const std::size_t targetEnd = std::min(whole.size(), whole.find_first_of(" \t\r\n"));
  instruction.target = whole.substr(0, targetEnd);
  const std::size_t dataStart = whole.find_first_not_of(" \t\r\n", targetEnd);
  if (dataStart != std::string_view::npos) instruction.data = whole.substr(dataStart);
  return instruction;
}

}  // namespace

DocumentTypeContent ReadDocumentType(std::string_view dtd) {
  DocumentTypeContent content;
  DtdScanner scanner(dtd);
  std::string ignored;
  while (!scanner.AtEnd()) {
    if (scanner.StartsWith("<!--")) {
      scanner.SkipPast("-->");
    } else if (scanner.StartsWith("<?")) {
      scanner.Skip(2);
      content.instructions.push_back(ReadInstruction(scanner));
    } else if (scanner.StartsWith("<!NOTATION")) {
      scanner.Skip(10);
      content.notations.push_back(ReadNotation(scanner));
    } else if (!scanner.Literal(ignored)) {
      scanner.Skip(1);
    }
  }
  return content;
}

void CanonicalWriter::DocumentType(std::string_view rootName, DocumentTypeContent content) {
  for (const Instruction& instruction : content.instructions) {
    ProcessingInstruction(instruction.target, instruction.data);
  }
  std::vector<Notation>& notations = content.notations;
  if (notations.empty()) return;
  std::stable_sort(notations.begin(), notations.end(),
                   [](const Notation& a, const Notation& b) { return a.name < b.name; });
  text_ += "<!DOCTYPE ";
  text_ += rootName;
  text_ += " [\n";
  for (const Notation& notation : notations) {
    text_ += "<!NOTATION ";
    text_ += notation.name;
    if (notation.hasPublic) {
      text_ += " PUBLIC '" + notation.publicId + "'";
      if (notation.hasSystem) text_ += " '" + notation.systemId + "'";
    } else {
      text_ += " SYSTEM '" + notation.systemId + "'";
    }
    text_ += ">\n";
  }
  text_ += "]>\n";
}

void CanonicalWriter::ProcessingInstruction(std::string_view target, std::string_view data) {
  text_ += "<?";
  text_ += target;
  text_ += ' ';
  text_ += data;
  text_ += "?>";
}

void CanonicalWriter::StartElement(std::string_view name, std::vector<Attribute> attributes) {
  // std::string compares bytes, and UTF-8 bytes sort as their code points do.
  std::stable_sort(attributes.begin(), attributes.end(),
                   [](const Attribute& a, const Attribute& b) { return a.first < b.first; });
  text_ += '<';
  text_ += name;
  for (const auto& [attributeName, value] : attributes) {
    text_ += ' ';
    text_ += attributeName;
    text_ += "=\"";
    Escaped(value);
    text_ += '"';
  }
  text_ += '>';
}

void CanonicalWriter::EndElement(std::string_view name) {
  text_ += "</";
  text_ += name;
  text_ += '>';
}

void CanonicalWriter::Text(std::string_view text) {
  Escaped(text);
}

void CanonicalWriter::Escaped(std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        text_ += "&amp;";
        break;
      case '<':
        text_ += "&lt;";
        break;
      case '>':
        text_ += "&gt;";
        break;
      case '"':
        text_ += "&quot;";
        break;
      case '\t':
        text_ += "&#9;";
        break;
      case '\n':
        text_ += "&#10;";
        break;
      case '\r':
        text_ += "&#13;";
        break;
      default:
        text_ += c;
    }
  }
}

namespace {

// The text of a value as written: a dialect document keeps a CDATA section whole, markers included.
std::string ValueText(const cXmlNode& node, bool dialect) {
  std::u16string_view value = node.Value();
  if (dialect && node.Content() == ContentCData) {
    value.remove_prefix(std::min<std::size_t>(value.size(), 9));  // "<![CDATA["
    if (value.ends_with(u"]]>")) value.remove_suffix(3);
  }
  return ToUtf8(value);
}

std::vector<CanonicalWriter::Attribute> Attributes(const cXmlNode& element) {
  std::vector<CanonicalWriter::Attribute> attributes;
  for (const PropertyPair& property : element.Properties()) {
    attributes.emplace_back(ToUtf8(property[0]), ToUtf8(property[1]));
  }
  return attributes;
}

void WriteProcessingInstruction(const cXmlNode& node, CanonicalWriter& writer) {
  writer.ProcessingInstruction(ToUtf8(node.Name()), ToUtf8(node.Value()));
}

// The element and everything in it, with an explicit stack, so that depth costs no call stack.
void WriteElement(const cXmlNode& root, bool dialect, CanonicalWriter& writer) {
  struct Open {
    const cXmlNode* element;
    std::int32_t nextChild;  // 1-based
  };
  std::vector<Open> open;
  const auto start = [&](const cXmlNode& element) {
    writer.StartElement(ToUtf8(element.Name()), Attributes(element));
    if (element.NodeCount() == 0) {
      writer.Text(ValueText(element, dialect));
      writer.EndElement(ToUtf8(element.Name()));
    } else {
      open.push_back({&element, 1});
    }
  };
  start(root);
  while (!open.empty()) {
    Open& top = open.back();
    if (top.nextChild > top.element->NodeCount()) {
      writer.EndElement(ToUtf8(top.element->Name()));
      open.pop_back();
      continue;
    }
    const NodeRef child = top.element->Node(top.nextChild++);
    switch (child->Kind()) {
      case KindElement:
        start(*child);
        break;
      case KindText:
      case KindCData:
        writer.Text(ToUtf8(child->Value()));
        break;
      case KindProcessingInstruction:
        WriteProcessingInstruction(*child, writer);
        break;
      case KindComment:
      case KindDocumentType:
        break;
    }
  }
}

}  // namespace

std::string CanonicalForm(const cXml& document) {
  CanonicalWriter writer;
  for (const NodeRef& node : document.Prolog()) {
    if (node->Kind() == KindDocumentType) {
      writer.DocumentType(ToUtf8(node->Name()), ReadDocumentType(ToUtf8(node->Value())));
    } else if (node->Kind() == KindProcessingInstruction) {
      WriteProcessingInstruction(*node, writer);
    }
  }
  if (const NodeRef root = document.Root()) {
    WriteElement(*root, document.Syntax() == XmlSyntax::Dialect, writer);
  }
  for (const NodeRef& node : document.Epilog()) {
    if (node->Kind() == KindProcessingInstruction) WriteProcessingInstruction(*node, writer);
  }
  return writer.Result();
}

std::size_t FirstDifference(std::string_view expected, std::string_view actual) {
  const auto mismatch =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first;
  if (mismatch == expected.end() && expected.size() == actual.size()) return 0;
  const auto isLead = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
  // A difference inside a character counts from that character's start.
  return static_cast<std::size_t>(std::count_if(expected.begin(), mismatch, isLead)) +
         (mismatch != expected.end() && !isLead(*mismatch) ? 0 : 1);
}

}  // namespace kestrelwing::conformance
