// Lookups below a node: by path, by name, by name and property value. None of them raises.
#include <kestrelwing/cXmlNode.h>

#include "CaseFold.h"
#include "NodeAccess.h"

namespace kestrelwing {
namespace {

using detail::EqualsIgnoreCase;

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

bool HasPathSeparator(std::u16string_view text) {
  return text.find_first_of(u"/\\") != std::u16string_view::npos;
}

// "\" when the path holds one; then "/" is an ordinary character of a name.
char16_t SeparatorOf(std::u16string_view path) {
  return path.find(u'\\') != std::u16string_view::npos ? u'\\' : u'/';
}

// Queries find elements only: text runs, comments and the other kinds are passed over.
bool IsElementNamed(const cXmlNode& node, std::u16string_view name) {
  return node.Kind() == KindElement && EqualsIgnoreCase(node.Name(), name);
}

// The first child element whose name matches, or none.
NodeRef ChildByName(const cXmlNode& parent, std::u16string_view name) {
  for (const NodeRef& child : detail::NodeAccess::Children(parent)) {
    if (IsElementNamed(*child, name)) return child;
  }
  return nullptr;
}

// Descends one level per component; a component that matches no child ends the walk with none.
// Components stand as written: an empty one matches only a child with an empty name.
NodeRef WalkPath(const cXmlNode& start, std::u16string_view path, char16_t separator) {
  if (path.empty()) return nullptr;
  const cXmlNode* current = &start;
  for (;;) {
    const std::size_t end = path.find(separator);
    NodeRef found = ChildByName(*current, path.substr(0, end));
    if (!found || end == std::u16string_view::npos) return found;
    current = found.get();
    path.remove_prefix(end + 1);
  }
}

}  // namespace

// A path may begin with this node's own name followed by a separator, as a document's paths
// begin with the root's name: that part is dropped. The path "item" on a node named item looks
// for a child named item; the path "items" is not cut to "s".
NodeRef cXmlNode::NodeByName(std::u16string_view path) const {
  const char16_t separator = SeparatorOf(path);
  const std::u16string& ownName = Name();
  if (path.size() > ownName.size() && IsSeparator(path[ownName.size()]) &&
      detail::StartsWithIgnoreCase(path, ownName)) {
    path.remove_prefix(ownName.size() + 1);
  }
  return WalkPath(*this, path, separator);
}

// An empty name answers every child element.
std::vector<NodeRef> cXmlNode::Nodes(std::u16string_view name) const {
  std::vector<NodeRef> matches;
  if (name.empty()) {
    matches.reserve(children_.size());
    for (const NodeRef& child : children_) {
      if (child->Kind() == KindElement) matches.push_back(child);
    }
    return matches;
  }
  for (const NodeRef& child : children_) {
    if (IsElementNamed(*child, name)) matches.push_back(child);
  }
  return matches;
}

// A missing property reads as empty text, so an empty propertyValue also finds children that
// lack the property.
NodeRef cXmlNode::Search(std::u16string_view name, std::u16string_view propertyName,
                         std::u16string_view propertyValue) const {
  for (const NodeRef& child : children_) {
    if (!IsElementNamed(*child, name)) continue;
    if (propertyName.empty()) return child;
    const std::int32_t index = detail::NodeAccess::PropertyIndex(*child, propertyName);
    const std::u16string_view value =
        index == 0 ? std::u16string_view() : detail::NodeAccess::PropertyValueAt(*child, index);
    if (EqualsIgnoreCase(value, propertyValue)) return child;
  }
  return nullptr;
}

// One leading "\" is dropped; a name that still holds a separator is a path (and the property
// filter is not used), anything else is a Search.
NodeRef cXmlNode::Search2(std::u16string_view name, std::u16string_view propertyName,
                          std::u16string_view propertyValue) const {
  if (!name.empty() && name.front() == u'\\') name.remove_prefix(1);
  if (HasPathSeparator(name)) return WalkPath(*this, name, SeparatorOf(name));
  return Search(name, propertyName, propertyValue);
}

}  // namespace kestrelwing
