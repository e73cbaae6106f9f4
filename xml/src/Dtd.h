// The document type of an XML 1.0 document as a non-validating processor reads it: the internal
// subset's entities and attribute-list declarations, every declaration's syntax checked. Nothing
// external (the external subset, external entities) is ever opened.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Xml10Scanner.h"

namespace kestrelwing::detail {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view text) const {
    return std::hash<std::u16string_view>{}(text);
  }
};
template <typename Value>
using TextMap = std::unordered_map<std::u16string, Value, TextHash, std::equal_to<>>;

// One attribute of an attribute-list declaration.
struct AttributeDeclaration {
  std::u16string name;
  bool tokenized = false;  // any type but CDATA: its value's spaces are collapsed
  bool hasDefault = false;
  std::u16string defaultValue;  // normalized, when hasDefault
};

struct Dtd {
  TextMap<Entity> generalEntities;
  TextMap<Entity> parameterEntities;
  TextMap<std::vector<AttributeDeclaration>> attributeLists;  // by element name
  bool standalone = false;         // the declaration says standalone="yes"
  bool hasExternalSubset = false;  // the document type names one
  bool sawParameterReference = false;
  // A parameter entity was left unread, so the declarations after it are not applied.
  bool skippingDeclarations = false;

  // Whether a reference to an undeclared entity breaks well-formedness (WFC: Entity Declared)
  // rather than only validity, which a non-validating processor does not check.
  bool EntitiesMustBeDeclared() const {
    return standalone || !(hasExternalSubset || sawParameterReference);
  }
  const std::vector<AttributeDeclaration>* AttributesOf(std::u16string_view element) const {
    if (attributeLists.empty()) return nullptr;
    const auto found = attributeLists.find(element);
    return found != attributeLists.end() ? &found->second : nullptr;
  }
};

// Reads the internal subset from just after its '[' up to (not past) its ']'.
void ReadInternalSubset(Xml10Scanner& scanner, Dtd& dtd);
// Reads an external identifier ("SYSTEM" literal, or "PUBLIC" literal literal); with
// publicOnly, a "PUBLIC" literal without a system literal is accepted too (notations). False
// when no keyword starts here.
struct ExternalId {
  std::u16string_view publicId;
  std::u16string_view systemId;
  bool isPublic = false;
};
bool ReadExternalId(Xml10Scanner& scanner, ExternalId& id, bool publicOnly = false);
// Reads a quoted attribute value from the scanner, references replaced and white space
// normalized as for CDATA, appending it to out.
void ReadAttributeValue(Xml10Scanner& scanner, Dtd& dtd, std::u16string& out);
// Collapses a value to the form of the tokenized types: no leading or trailing spaces, single
// spaces between tokens. In place, from offset start of value.
void CollapseSpaces(std::u16string& value, std::size_t start = 0);

}  // namespace kestrelwing::detail
