// Element names as the side-by-side loader reads them: a local name in a namespace, whatever
// prefix the document chose ("assembly" under xmlns="urn:...", or "asmv1:assembly" under
// xmlns:asmv1="urn:...").
#pragma once

#include <kestrelwing/cXmlNode.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelwing::regsvr42 {

inline constexpr char16_t kAssemblyNamespace[] = u"urn:schemas-microsoft-com:asm.v1";

// The part of a qualified name before the colon (empty without one), and the part after it.
std::u16string_view PrefixOf(std::u16string_view qualifiedName);
std::u16string_view LocalNameOf(std::u16string_view qualifiedName);

// True for an attribute that declares a namespace (xmlns or xmlns:prefix) rather than carrying a
// value of the element.
bool IsNamespaceDeclaration(std::u16string_view attributeName);

// The namespace declarations in force at one element: its own, then its ancestors'.
class NamespaceScope {
 public:
  // The scope inside `element`, below this one.
  NamespaceScope Within(const cXmlNode& element) const;
  // The namespace that `prefix` (empty for the default namespace) stands for; empty when none.
  std::u16string_view Resolve(std::u16string_view prefix) const;
  // True when `element`, read inside this scope (the one Within(element) gave), is `localName`
  // in `namespaceUri`. Names compare with letter case, as the loader compares them.
  bool Names(const cXmlNode& element, std::u16string_view namespaceUri,
             std::u16string_view localName) const;

 private:
  std::vector<std::pair<std::u16string, std::u16string>> declarations_;  // innermost last
};

}  // namespace kestrelwing::regsvr42
