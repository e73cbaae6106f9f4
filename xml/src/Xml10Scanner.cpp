#include "Xml10Scanner.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ParseErrors.h"

namespace kestrelwing::detail {

using namespace std::string_view_literals;
namespace {

constexpr std::u16string_view kCharRefRule = u"[66] CharRef";

void AppendNumber(std::u16string& out, std::size_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

}  // namespace

Xml10Scanner::Xml10Scanner(std::u16string_view document)
    : document_(document),
      expansionLimit_(std::max(kExpansionFloor, kExpansionFactor * document.size())) {
  inputs_.reserve(kMaxEntityDepth + 1);
  inputs_.push_back({document, 0, nullptr});
  input_ = &inputs_.back();
}

std::u16string_view Xml10Scanner::ReadLongName(std::u16string_view rule, bool nameToken) {
  const std::u16string_view rest(input_->text.data() + input_->position,
                                 input_->text.size() - input_->position);
  const std::size_t length = XmlNameLength(rest, nameToken);
  if (length == 0)
    Fail(nameToken ? u"A name token was expected"sv : u"A name was expected"sv, rule);
  input_->position += length;
  return {rest.data(), length};
}

std::u16string_view Xml10Scanner::ReadQuoted(std::u16string_view rule) {
  const char16_t quote = Peek();
  if (quote != u'"' && quote != u'\'') Fail(u"A quoted literal was expected"sv, rule);
  const std::u16string_view rest = Rest();
  const std::size_t end = rest.find(quote, 1);
  if (end == std::u16string_view::npos) Fail(u"The literal has no closing quote"sv, rule);
  Skip(end + 1);
  return rest.substr(1, end - 1);
}

std::u16string_view Xml10Scanner::ReadReference(std::u16string& out) {
  if (Accept(u"#"sv)) {
    ReadCharReference(out);
    return {};
  }
  const std::u16string_view name = ReadName(u"[68] EntityRef"sv);
  Expect(u";"sv, u"[68] EntityRef"sv);
  return name;
}

char16_t Xml10Scanner::PredefinedEntity(std::u16string_view name) {
  static constexpr std::array<std::pair<std::u16string_view, char16_t>, 5> kPredefined = {
      {{u"lt", u'<'}, {u"gt", u'>'}, {u"amp", u'&'}, {u"apos", u'\''}, {u"quot", u'"'}}};
  for (const auto& [entity, character] : kPredefined) {
    if (entity == name) return character;
  }
  return u'\0';
}

void Xml10Scanner::ReadCharReference(std::u16string& out) {
  const bool hex = Accept(u"x"sv);
  char32_t code = 0;
  std::size_t digits = 0;
  for (;; ++digits) {
    const char16_t c = Peek(digits);
    int value;
    if (c >= u'0' && c <= u'9') {
      value = c - u'0';
    } else if (hex && (c | 0x20) >= u'a' && (c | 0x20) <= u'f') {
      value = (c | 0x20) - u'a' + 10;
    } else {
      break;
    }
    code = code * (hex ? 16 : 10) + static_cast<char32_t>(value);
    if (code > 0x10FFFF) code = 0x110000;  // stays out of range, never overflows
  }
  if (digits == 0 || Peek(digits) != u';') Fail(u"A malformed character reference"sv, kCharRefRule);
  if (!IsXmlChar(code)) {
    Fail(u"A character reference to a character XML does not allow"sv, u"WFC: Legal Character"sv);
  }
  Skip(digits + 1);
  if (code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  } else {
    out += static_cast<char16_t>(code);
  }
}

std::u16string_view Xml10Scanner::ReadComment() {
  const std::u16string_view rest = Rest();
  const std::size_t end = rest.find(u"--"sv);
  if (end == std::u16string_view::npos) Fail(u"The comment is not closed"sv, u"[15] Comment"sv);
  Skip(end);
  if (Peek(2) != u'>') Fail(u"'--' inside a comment"sv, u"[15] Comment"sv);
  Skip(3);
  return rest.substr(0, end);
}

Xml10Scanner::Instruction Xml10Scanner::ReadInstruction() {
  constexpr std::u16string_view kRule = u"[16] PI";
  Instruction instruction;
  instruction.target = ReadName(kRule);
  if (instruction.target.size() == 3 && (instruction.target[0] | 0x20) == u'x' &&
      (instruction.target[1] | 0x20) == u'm' && (instruction.target[2] | 0x20) == u'l') {
    Fail(u"The target 'xml' is reserved: an XML declaration is allowed only at the very start"sv,
         u"[17] PITarget");
  }
  if (Accept(u"?>"sv)) return instruction;
  ExpectSpace(kRule);
  const std::u16string_view rest = Rest();
  const std::size_t end = rest.find(u"?>"sv);
  if (end == std::u16string_view::npos) Fail(u"The processing instruction is not closed"sv, kRule);
  instruction.data = rest.substr(0, end);
  Skip(end + 2);
  return instruction;
}

void Xml10Scanner::PushEntity(Entity& entity) {
  if (entity.open) {
    Fail(u"The entity '" + entity.name + u"' refers to itself", u"WFC: No Recursion"sv);
  }
  if (inputs_.size() > kMaxEntityDepth) {
    Fail(u"Entity references nest too deeply"sv, u"4.1 Character and Entity References"sv);
  }
  Spend(entity.text.size());
  entity.open = true;
  inputs_.push_back({entity.text, 0, &entity});
  input_ = &inputs_.back();
}

void Xml10Scanner::PopEntity() {
  inputs_.back().entity->open = false;
  inputs_.pop_back();
  input_ = &inputs_.back();
}

void Xml10Scanner::Spend(std::size_t characters) {
  expanded_ += characters;
  if (expanded_ > expansionLimit_) {
    Fail(
        u"Entity expansion goes past the limit of " +
            [&] {
              std::u16string text;
              AppendNumber(text, expansionLimit_);
              return text;
            }() +
            u" characters (a document that expands without bound)",
        u"4.1 Character and Entity References");
  }
}

void Xml10Scanner::Fail(std::u16string_view what, std::u16string_view rule) const {
  if (inputs_.size() == 1) FailAt(document_, input_->position, what, rule);
  // At the outermost reference, which the document was read up to, through its ';'.
  std::u16string message(what);
  message += u" in the replacement text of entity '";
  message += inputs_.back().entity->name;
  message += u'\'';
  const std::size_t referenceLength = inputs_[1].entity->name.size() + 2;
  FailAt(document_, inputs_.front().position - std::min(referenceLength, inputs_.front().position),
         message, rule);
}

void Xml10Scanner::FailExpected(std::u16string_view expected, std::u16string_view rule) const {
  std::u16string what = u"'";
  what += expected;
  what += u"' was expected";
  if (AtEnd()) what += InEntity() ? u" before the end of the entity" : u" before the end";
  Fail(what, rule);
}

void Xml10Scanner::FailAt(std::u16string_view document, std::size_t offset,
                          std::u16string_view what, std::u16string_view rule) {
  offset = std::min(offset, document.size());
  const std::u16string_view before = document.substr(0, offset);
  const std::size_t line =
      static_cast<std::size_t>(std::count(before.begin(), before.end(), u'\n'));
  const std::size_t lineStart = before.rfind(u'\n');
  const std::size_t column =
      offset - (lineStart == std::u16string_view::npos ? 0 : lineStart + 1) + 1;
  std::u16string message(what);
  message += u" at line ";
  AppendNumber(message, line + 1);
  message += u" [";
  AppendNumber(message, column);
  message += u"] (XML 1.0 ";
  message += rule;
  message += u')';
  throw ParseError{kParseErrorNotWellFormed, u"XMLParser", std::move(message)};
}

}  // namespace kestrelwing::detail
