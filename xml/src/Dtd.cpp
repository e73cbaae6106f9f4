#include "Dtd.h"

#include <algorithm>
#include <array>

namespace kestrelwing::detail {

using namespace std::string_view_literals;
namespace {

constexpr std::u16string_view kEntityRule = u"[70] EntityDecl";
constexpr std::u16string_view kAttlistRule = u"[52] AttlistDecl";
constexpr std::u16string_view kElementRule = u"[45] elementdecl";
constexpr std::u16string_view kNotationRule = u"[82] NotationDecl";
constexpr std::u16string_view kSubsetRule = u"[28b] intSubset";
constexpr std::u16string_view kPubidRule = u"[12] PubidLiteral";
constexpr std::u16string_view kAttValueRule = u"[10] AttValue";
// Groups of element content nest at most this deep; the grammar is read by recursion.
constexpr int kMaxGroupDepth = 200;

bool IsPubidChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u' ' || c == u'\n' ||
         std::u16string_view(u"-'()+,./:=?;!*#@$_%"sv).find(c) != std::u16string_view::npos;
}

// A keyword (all its letters as given), not followed by more name characters.
bool AcceptKeyword(Xml10Scanner& scanner, std::u16string_view keyword) {
  if (!scanner.LooksAt(keyword) || IsXmlNameChar(scanner.Peek(keyword.size()))) return false;
  scanner.Skip(keyword.size());
  return true;
}

// A general entity's replacement text: character references replaced now, entity references
// kept as written (they are replaced where the entity is used).
void ReadEntityValue(Xml10Scanner& scanner, std::u16string& out) {
  constexpr std::u16string_view kRule = u"[9] EntityValue";
  const char16_t quote = scanner.Peek();
  if (quote != u'"' && quote != u'\'') scanner.Fail(u"A quoted entity value was expected"sv, kRule);
  scanner.Skip(1);
  for (;;) {
    if (scanner.AtEnd()) scanner.Fail(u"The entity value has no closing quote"sv, kRule);
    const char16_t c = scanner.Peek();
    if (c == quote) break;
    if (c == u'%') {
      scanner.Fail(u"A parameter-entity reference inside a declaration of the internal subset"sv,
                   u"WFC: PEs in Internal Subset");
    }
    if (c == u'&') {
      scanner.Skip(1);
      const std::u16string_view name = scanner.ReadReference(out);
      if (name.empty()) continue;
      out += u'&';
      out += name;
      out += u';';
      continue;
    }
    out += c;
    scanner.Skip(1);
  }
  scanner.Skip(1);
}

void ReadQuantifier(Xml10Scanner& scanner) {
  const char16_t c = scanner.Peek();
  if (c == u'?' || c == u'*' || c == u'+') scanner.Skip(1);
}

void ReadGroupRest(Xml10Scanner& scanner, int depth);

// A content particle: a name or a group, and its quantifier.
void ReadParticle(Xml10Scanner& scanner, int depth) {
  if (scanner.Accept(u"("sv)) {
    if (depth >= kMaxGroupDepth) scanner.Fail(u"Content groups nest too deeply"sv, u"[48] cp"sv);
    scanner.SkipSpace();
    ReadGroupRest(scanner, depth + 1);
  } else {
    scanner.ReadName(u"[48] cp"sv);
    ReadQuantifier(scanner);
  }
}

// A choice or a sequence after its '(' and white space, through its ')' and quantifier.
void ReadGroupRest(Xml10Scanner& scanner, int depth) {
  constexpr std::u16string_view kRule = u"[49] choice / [50] seq";
  ReadParticle(scanner, depth);
  scanner.SkipSpace();
  const char16_t separator = scanner.Peek();
  if (separator != u')') {
    if (separator != u'|' && separator != u',') scanner.FailExpected(u")"sv, kRule);
    while (scanner.Peek() == separator) {
      scanner.Skip(1);
      scanner.SkipSpace();
      ReadParticle(scanner, depth);
      scanner.SkipSpace();
    }
  }
  scanner.Expect(u")"sv, kRule);
  ReadQuantifier(scanner);
}

void ReadContentSpec(Xml10Scanner& scanner) {
  if (AcceptKeyword(scanner, u"EMPTY"sv) || AcceptKeyword(scanner, u"ANY"sv)) return;
  scanner.Expect(u"("sv, u"[46] contentspec"sv);
  scanner.SkipSpace();
  if (!scanner.Accept(u"#PCDATA"sv)) return ReadGroupRest(scanner, 1);
  constexpr std::u16string_view kMixed = u"[51] Mixed";
  scanner.SkipSpace();
  if (scanner.Accept(u")"sv)) {
    scanner.Accept(u"*"sv);
    return;
  }
  while (scanner.Accept(u"|"sv)) {
    scanner.SkipSpace();
    scanner.ReadName(kMixed);
    scanner.SkipSpace();
  }
  scanner.Expect(u")*"sv, kMixed);
}

void ReadElementDeclaration(Xml10Scanner& scanner) {
  scanner.ExpectSpace(kElementRule);
  scanner.ReadName(kElementRule);
  scanner.ExpectSpace(kElementRule);
  ReadContentSpec(scanner);
  scanner.SkipSpace();
  scanner.Expect(u">"sv, kElementRule);
}

// ( name | name ... ), of names or of name tokens.
void ReadEnumeration(Xml10Scanner& scanner, bool nameTokens) {
  constexpr std::u16string_view kRule = u"[57] EnumeratedType";
  scanner.Expect(u"("sv, kRule);
  do {
    scanner.SkipSpace();
    scanner.ReadName(kRule, nameTokens);
    scanner.SkipSpace();
  } while (scanner.Accept(u"|"sv));
  scanner.Expect(u")"sv, kRule);
}

// Answers whether the type is tokenized.
bool ReadAttributeType(Xml10Scanner& scanner) {
  if (AcceptKeyword(scanner, u"CDATA"sv)) return false;
  static constexpr std::array<std::u16string_view, 7> kTokenized = {
      u"ID", u"IDREF"sv, u"IDREFS"sv, u"ENTITY"sv, u"ENTITIES"sv, u"NMTOKEN"sv, u"NMTOKENS"};
  for (std::u16string_view type : kTokenized) {
    if (AcceptKeyword(scanner, type)) return true;
  }
  if (AcceptKeyword(scanner, u"NOTATION"sv)) {
    scanner.ExpectSpace(u"[58] NotationType"sv);
    ReadEnumeration(scanner, false);
  } else {
    ReadEnumeration(scanner, true);
  }
  return true;
}

void ReadAttributeListDeclaration(Xml10Scanner& scanner, Dtd& dtd) {
  scanner.ExpectSpace(kAttlistRule);
  const std::u16string element(scanner.ReadName(kAttlistRule));
  for (;;) {
    const bool spaced = scanner.SkipSpace();
    if (scanner.Accept(u">"sv)) return;
    if (!spaced)
      scanner.Fail(u"White space is required before an attribute definition"sv, u"[53] AttDef"sv);
    AttributeDeclaration declaration;
    declaration.name = scanner.ReadName(u"[53] AttDef"sv);
    scanner.ExpectSpace(u"[53] AttDef"sv);
    declaration.tokenized = ReadAttributeType(scanner);
    scanner.ExpectSpace(u"[53] AttDef"sv);
    if (!AcceptKeyword(scanner, u"#REQUIRED"sv) && !AcceptKeyword(scanner, u"#IMPLIED"sv)) {
      if (AcceptKeyword(scanner, u"#FIXED"sv)) scanner.ExpectSpace(u"[60] DefaultDecl"sv);
      ReadAttributeValue(scanner, dtd, declaration.defaultValue);
      if (declaration.tokenized) CollapseSpaces(declaration.defaultValue);
      declaration.hasDefault = true;
    }
    if (dtd.skippingDeclarations) continue;
    std::vector<AttributeDeclaration>& list = dtd.attributeLists[element];
    // The first declaration of an attribute binds; later ones are ignored.
    if (std::none_of(list.begin(), list.end(),
                     [&](const AttributeDeclaration& d) { return d.name == declaration.name; })) {
      list.push_back(std::move(declaration));
    }
  }
}

void ReadEntityDeclaration(Xml10Scanner& scanner, Dtd& dtd) {
  scanner.ExpectSpace(kEntityRule);
  Entity entity;
  if (scanner.Accept(u"%"sv)) {
    entity.parameter = true;
    scanner.ExpectSpace(kEntityRule);
  }
  entity.name = scanner.ReadName(kEntityRule);
  scanner.ExpectSpace(kEntityRule);
  ExternalId id;
  if (ReadExternalId(scanner, id)) {
    entity.external = true;
    const bool spaced = scanner.SkipSpace();
    if (!entity.parameter && spaced && AcceptKeyword(scanner, u"NDATA"sv)) {
      scanner.ExpectSpace(u"[76] NDataDecl"sv);
      scanner.ReadName(u"[76] NDataDecl"sv);
      entity.unparsed = true;
    }
  } else {
    ReadEntityValue(scanner, entity.text);
  }
  scanner.SkipSpace();
  scanner.Expect(u">"sv, kEntityRule);
  if (dtd.skippingDeclarations) return;
  TextMap<Entity>& entities = entity.parameter ? dtd.parameterEntities : dtd.generalEntities;
  entities.try_emplace(entity.name, std::move(entity));  // the first declaration binds
}

void ReadNotationDeclaration(Xml10Scanner& scanner) {
  scanner.ExpectSpace(kNotationRule);
  scanner.ReadName(kNotationRule);
  scanner.ExpectSpace(kNotationRule);
  ExternalId id;
  if (!ReadExternalId(scanner, id, /*publicOnly=*/true)) {
    scanner.Fail(u"'SYSTEM' or 'PUBLIC' was expected"sv, kNotationRule);
  }
  scanner.SkipSpace();
  scanner.Expect(u">"sv, kNotationRule);
}

void ReadParameterReference(Xml10Scanner& scanner, Dtd& dtd) {
  constexpr std::u16string_view kRule = u"[69] PEReference";
  const std::u16string_view name = scanner.ReadName(kRule);
  scanner.Expect(u";"sv, kRule);
  const auto found = dtd.parameterEntities.find(name);
  if (found == dtd.parameterEntities.end()) {
    // Only a reference to a parameter entity could declare it elsewhere: the first one, when it
    // is undeclared and there is no external subset, is an undeclared reference.
    if (dtd.EntitiesMustBeDeclared()) {
      scanner.Fail(u"The parameter entity '" + std::u16string(name) + u"' is not declared",
                   u"WFC: Entity Declared");
    }
    dtd.sawParameterReference = true;
    dtd.skippingDeclarations = true;  // unread: what follows may depend on it
    return;
  }
  dtd.sawParameterReference = true;
  if (found->second.external) {
    dtd.skippingDeclarations = true;
    return;
  }
  scanner.PushEntity(found->second);
}

}  // namespace

void ReadInternalSubset(Xml10Scanner& scanner, Dtd& dtd) {
  for (;;) {
    scanner.SkipSpace();
    if (scanner.AtEnd()) {
      if (!scanner.InEntity()) scanner.FailExpected(u"]"sv, kSubsetRule);
      scanner.PopEntity();
      continue;
    }
    const char16_t c = scanner.Peek();
    if (c == u']' && !scanner.InEntity()) return;
    if (c == u'%') {
      scanner.Skip(1);
      ReadParameterReference(scanner, dtd);
    } else if (scanner.Accept(u"<!ENTITY"sv)) {
      ReadEntityDeclaration(scanner, dtd);
    } else if (scanner.Accept(u"<!ATTLIST"sv)) {
      ReadAttributeListDeclaration(scanner, dtd);
    } else if (scanner.Accept(u"<!ELEMENT"sv)) {
      ReadElementDeclaration(scanner);
    } else if (scanner.Accept(u"<!NOTATION"sv)) {
      ReadNotationDeclaration(scanner);
    } else if (scanner.Accept(u"<!--"sv)) {
      scanner.ReadComment();
    } else if (scanner.Accept(u"<?"sv)) {
      scanner.ReadInstruction();
    } else {
      scanner.Fail(u"A markup declaration was expected"sv, u"[29] markupdecl"sv);
    }
  }
}

bool ReadExternalId(Xml10Scanner& scanner, ExternalId& id, bool publicOnly) {
  constexpr std::u16string_view kRule = u"[75] ExternalID";
  if (AcceptKeyword(scanner, u"SYSTEM"sv)) {
    scanner.ExpectSpace(kRule);
    id.systemId = scanner.ReadQuoted(u"[11] SystemLiteral"sv);
    return true;
  }
  if (!AcceptKeyword(scanner, u"PUBLIC"sv)) return false;
  id.isPublic = true;
  scanner.ExpectSpace(kRule);
  id.publicId = scanner.ReadQuoted(kPubidRule);
  if (!std::all_of(id.publicId.begin(), id.publicId.end(), IsPubidChar)) {
    scanner.Fail(u"A character not allowed in a public identifier"sv, u"[13] PubidChar"sv);
  }
  if (publicOnly) {
    // A notation's system literal is optional.
    if (scanner.SkipSpace() && (scanner.Peek() == u'"' || scanner.Peek() == u'\'')) {
      id.systemId = scanner.ReadQuoted(u"[11] SystemLiteral"sv);
    }
    return true;
  }
  scanner.ExpectSpace(kRule);
  id.systemId = scanner.ReadQuoted(u"[11] SystemLiteral"sv);
  return true;
}

void ReadAttributeValue(Xml10Scanner& scanner, Dtd& dtd, std::u16string& out) {
  const char16_t quote = scanner.Peek();
  if (quote != u'"' && quote != u'\'')
    scanner.Fail(u"A quoted value was expected"sv, kAttValueRule);
  scanner.Skip(1);
  const std::size_t base = scanner.EntityDepth();
  for (;;) {
    if (scanner.AtEnd()) {
      if (scanner.EntityDepth() == base) {
        scanner.Fail(u"The attribute value has no closing quote"sv, kAttValueRule);
      }
      scanner.PopEntity();
      continue;
    }
    // A run of ordinary characters at once; the text holds no other characters below U+0020
    // than white space.
    const std::u16string_view rest = scanner.Rest();
    const std::size_t run = FindUnit(rest, 0, quote, u'<', u'&', /*controls=*/true);
    out.append(rest.substr(0, run));
    scanner.Skip(run);
    if (run == rest.size()) continue;
    const char16_t c = rest[run];
    if (c == quote) {
      scanner.Skip(1);
      if (scanner.EntityDepth() == base) return;
      out += c;  // a quote inside an entity's replacement text is data
    } else if (c == u'<') {
      scanner.Fail(u"'<' inside an attribute value"sv, u"WFC: No < in Attribute Values"sv);
    } else if (c == u'&') {
      scanner.Skip(1);
      const std::u16string_view name = scanner.ReadReference(out);
      if (name.empty()) continue;
      if (const char16_t predefined = Xml10Scanner::PredefinedEntity(name)) {
        out += predefined;
        continue;
      }
      const auto found = dtd.generalEntities.find(name);
      if (found == dtd.generalEntities.end()) {
        if (dtd.EntitiesMustBeDeclared()) {
          scanner.Fail(u"The entity '" + std::u16string(name) + u"' is not declared",
                       u"WFC: Entity Declared");
        }
        continue;  // declared, perhaps, where a non-validating processor does not read
      }
      if (found->second.external) {
        scanner.Fail(u"A reference to an external entity inside an attribute value"sv,
                     u"WFC: No External Entity References");
      }
      scanner.PushEntity(found->second);
    } else {
      out += u' ';
      scanner.Skip(1);
    }
  }
}

void CollapseSpaces(std::u16string& value, std::size_t start) {
  std::size_t write = start;
  bool pendingSpace = false;
  for (std::size_t read = start; read < value.size(); ++read) {
    const char16_t c = value[read];
    if (c == u' ') {
      pendingSpace = write != start;
      continue;
    }
    if (pendingSpace) value[write++] = u' ';
    pendingSpace = false;
    value[write++] = c;
  }
  value.resize(write);
}

}  // namespace kestrelwing::detail
