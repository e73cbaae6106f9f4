// The document object: its root and declaration, and the members it forwards to the root.
// Parse and Save live with the reader and the writer.
#include <kestrelwing/cXml.h>

#include <stdexcept>
#include <utility>

namespace kestrelwing {

cXml::cXml() : root_(MakeNode()) {}

const std::u16string& cXml::Result() const {
  return resultText_;
}

NodeRef cXml::XMLNode() const {
  return xmlNode_;
}
void cXml::SetXMLNode(NodeRef node) {
  xmlNode_ = std::move(node);
}

NodeRef cXml::Root() const {
  return root_;
}
void cXml::SetRoot(NodeRef node) {
  root_ = std::move(node);
}

XmlSyntax cXml::Syntax() const {
  return syntax_;
}
void cXml::SetSyntax(XmlSyntax syntax) {
  syntax_ = syntax;
}

const std::vector<NodeRef>& cXml::Prolog() const {
  return prolog_;
}
void cXml::SetProlog(std::vector<NodeRef> nodes) {
  prolog_ = std::move(nodes);
}
const std::vector<NodeRef>& cXml::Epilog() const {
  return epilog_;
}
void cXml::SetEpilog(std::vector<NodeRef> nodes) {
  epilog_ = std::move(nodes);
}

std::int32_t cXml::EncodingId() const {
  return encodingId_;
}

const NodeRef& cXml::CheckedRoot() const {
  if (!root_) throw std::logic_error("cXml: the document has no root node");
  return root_;
}

std::u16string cXml::RootName() const {
  return CheckedRoot()->Name();
}
void cXml::SetRootName(std::u16string value) {
  CheckedRoot()->SetName(std::move(value));
}

std::u16string cXml::RootValue() const {
  return std::u16string(CheckedRoot()->Value());
}
void cXml::SetRootValue(std::u16string_view value) {
  CheckedRoot()->SetValue(value);
}

NodeContent cXml::Content() const {
  return CheckedRoot()->Content();
}

std::u16string cXml::PropertyValue(std::u16string_view name,
                                   std::u16string_view defaultValue) const {
  return CheckedRoot()->PropertyValue(name, defaultValue);
}

void cXml::SetPropertyValue(std::u16string_view name, std::u16string value) {
  CheckedRoot()->SetPropertyValue(name, std::move(value));
}

std::int32_t cXml::PropertyCount() const {
  return CheckedRoot()->PropertyCount();
}

std::u16string cXml::PropertyName(std::int32_t index) const {
  return CheckedRoot()->PropertyName(index);
}

std::int32_t cXml::NodeCount() const {
  return CheckedRoot()->NodeCount();
}

NodeRef cXml::Node(std::int32_t index) const {
  return CheckedRoot()->Node(index);
}

std::vector<PropertyPair> cXml::Properties() const {
  return CheckedRoot()->Properties();
}

void cXml::Add(NodeRef node) {
  CheckedRoot()->Add(std::move(node));
}

bool cXml::Remove(std::int32_t position) {
  return CheckedRoot()->Remove(position);
}
bool cXml::Remove(std::u16string_view name) {
  return CheckedRoot()->Remove(name);
}
bool cXml::Remove(const NodeRef& node) {
  return CheckedRoot()->Remove(node);
}

NodeRef cXml::NodeByName(std::u16string_view path) const {
  return CheckedRoot()->NodeByName(path);
}

std::vector<NodeRef> cXml::Nodes(std::u16string_view name) const {
  return CheckedRoot()->Nodes(name);
}

NodeRef cXml::Search(std::u16string_view name, std::u16string_view propertyName,
                     std::u16string_view propertyValue) const {
  return CheckedRoot()->Search(name, propertyName, propertyValue);
}

}  // namespace kestrelwing
