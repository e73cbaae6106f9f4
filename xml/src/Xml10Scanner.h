// What the XML 1.0 reader and its DTD reader share: the stack of texts being read (the document,
// and the replacement texts of the entities it refers to), the small steps of the grammar, the
// budget of entity expansion, and how a well-formedness error is raised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Xml10Text.h"

namespace kestrelwing::detail {

struct Entity;

// The number an XML 1.0 error carries; the dialect's are 42 and 43.
inline constexpr std::int32_t kParseErrorNotWellFormed = 44;

class Xml10Scanner {
 public:
  // Entities nest at most this deep, and expand to at most kExpansionFloor characters or
  // kExpansionFactor times the document's length, whichever is more.
  static constexpr std::size_t kMaxEntityDepth = 40;
  static constexpr std::size_t kExpansionFloor = std::size_t{1} << 20;
  static constexpr std::size_t kExpansionFactor = 10;

  explicit Xml10Scanner(std::u16string_view document);

  // The text being read now, from the current position on.
  std::u16string_view Rest() const {
    return {input_->text.data() + input_->position, input_->text.size() - input_->position};
  }
  bool AtEnd() const { return input_->position >= input_->text.size(); }
  // The character at offset from the current position, or NUL past the end of this text.
  char16_t Peek(std::size_t offset = 0) const {
    const std::size_t at = input_->position + offset;
    return at < input_->text.size() ? input_->text[at] : u'\0';
  }
  bool LooksAt(std::u16string_view s) const { return Rest().starts_with(s); }
  void Skip(std::size_t count) { input_->position += count; }
  std::size_t Position() const { return input_->position; }
  // A view of the text being read from start up to the current position.
  std::u16string_view Since(std::size_t start) const {
    return input_->text.substr(start, input_->position - start);
  }

  // Consumes s when the text goes on with it.
  bool Accept(std::u16string_view s) {
    if (!LooksAt(s)) return false;
    Skip(s.size());
    return true;
  }
  void Expect(std::u16string_view s, std::u16string_view rule) {
    if (!Accept(s)) FailExpected(s, rule);
  }
  // Skips white space; answers whether there was any.
  bool SkipSpace() {
    const std::size_t start = input_->position;
    while (!AtEnd() && IsXmlSpace(input_->text[input_->position]))
      ++input_->position;
    return input_->position != start;
  }
  void ExpectSpace(std::u16string_view rule) {
    if (!SkipSpace()) Fail(u"White space is required here", rule);
  }
  // A name (or a name token) at the current position; an error when there is none.
  std::u16string_view ReadName(std::u16string_view rule, bool nameToken = false) {
    const char16_t* const at = input_->text.data() + input_->position;
    const std::size_t n = input_->text.size() - input_->position;
    const std::size_t length = AsciiNamePrefix(at, n, nameToken);
    if (length == 0 || (length < n && at[length] >= 0x80)) return ReadLongName(rule, nameToken);
    input_->position += length;
    return {at, length};
  }
  // A quoted literal's content; the quotes are consumed.
  std::u16string_view ReadQuoted(std::u16string_view rule);
  // After "&#": the character a reference stands for, appended to out; checks Legal Character.
  void ReadCharReference(std::u16string& out);
  // After '&': a character reference, whose character goes to out (the answer is then empty), or
  // an entity reference, whose name is the answer; the ';' is consumed.
  std::u16string_view ReadReference(std::u16string& out);
  // The character a predefined entity (lt, gt, amp, apos, quot) stands for, or NUL.
  static char16_t PredefinedEntity(std::u16string_view name);
  // After "<!--": the comment's text; the "-->" is consumed.
  std::u16string_view ReadComment();
  // After "<?": a processing instruction's target and its data after the white space; the "?>"
  // is consumed. A target "xml" in any letter case is refused: the declaration is not here.
  struct Instruction {
    std::u16string_view target;
    std::u16string_view data;
  };
  Instruction ReadInstruction();

  // The replacement text of entity becomes the text being read, until it is used up (PopEntity).
  void PushEntity(Entity& entity);
  // True while an entity's replacement text is being read.
  bool InEntity() const { return inputs_.size() > 1; }
  std::size_t EntityDepth() const { return inputs_.size() - 1; }
  void PopEntity();
  // Counts characters of replacement text against the budget.
  void Spend(std::size_t characters);

  // Raises the error: what, where (the document's line and column, or the place of the
  // reference whose replacement text holds it) and the rule.
  [[noreturn]] void Fail(std::u16string_view what, std::u16string_view rule) const;
  [[noreturn]] void FailExpected(std::u16string_view expected, std::u16string_view rule) const;
  // An error at an offset of the document.
  [[noreturn]] static void FailAt(std::u16string_view document, std::size_t offset,
                                  std::u16string_view what, std::u16string_view rule);

 private:
  // ReadName for a name that is not ASCII through and through, or is missing.
  std::u16string_view ReadLongName(std::u16string_view rule, bool nameToken);

  struct Input {
    std::u16string_view text;
    std::size_t position;
    Entity* entity;  // none for the document
  };

  std::vector<Input> inputs_;
  Input* input_;
  std::u16string_view document_;
  std::size_t expanded_ = 0;
  std::size_t expansionLimit_;
};

// A declared entity. Internal ones carry their replacement text; external ones are never read.
struct Entity {
  std::u16string name;
  std::u16string text;
  bool parameter = false;
  bool external = false;
  bool unparsed = false;  // has an NDATA notation
  bool open = false;      // its replacement text is being read
};

}  // namespace kestrelwing::detail
