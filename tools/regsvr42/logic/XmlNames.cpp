#include "XmlNames.h"

namespace kestrelwing::regsvr42 {

std::u16string_view PrefixOf(std::u16string_view qualifiedName) {
  const std::size_t colon = qualifiedName.find(u':');
  return colon == std::u16string_view::npos ? std::u16string_view()
                                            : qualifiedName.substr(0, colon);
}

std::u16string_view LocalNameOf(std::u16string_view qualifiedName) {
  const std::size_t colon = qualifiedName.find(u':');
  return colon == std::u16string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

bool IsNamespaceDeclaration(std::u16string_view attributeName) {
  return attributeName == u"xmlns" || attributeName.starts_with(u"xmlns:");
}

NamespaceScope NamespaceScope::Within(const cXmlNode& element) const {
  NamespaceScope inner = *this;
  for (const PropertyPair& property : element.Properties()) {
    if (property[0] == u"xmlns") {
      inner.declarations_.emplace_back(u"", property[1]);
    } else if (property[0].starts_with(u"xmlns:")) {
      inner.declarations_.emplace_back(property[0].substr(6), property[1]);
    }
  }
  return inner;
}

std::u16string_view NamespaceScope::Resolve(std::u16string_view prefix) const {
  for (auto it = declarations_.rbegin(); it != declarations_.rend(); ++it) {
    if (it->first == prefix) return it->second;
  }
  return {};
}

bool NamespaceScope::Names(const cXmlNode& element, std::u16string_view namespaceUri,
                           std::u16string_view localName) const {
  const std::u16string& name = element.Name();
  return LocalNameOf(name) == localName && Resolve(PrefixOf(name)) == namespaceUri;
}

}  // namespace kestrelwing::regsvr42
