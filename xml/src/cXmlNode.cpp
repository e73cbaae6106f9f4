#include <kestrelwing/cXmlNode.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "CaseFold.h"
#include "NodeAccess.h"
#include "PropertyTable.h"
#include "SharedName.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kNewNodeName = u"cXmlNode";
constexpr std::u16string_view kCDataMarker = u"<![CDATA[";
constexpr std::size_t kMaxChildren = std::numeric_limits<std::int32_t>::max();

// Moves the children of a node that is about to die onto pending, so that its destructor finds
// none to release. Should the list fail to grow, the children stay where they are and that
// node's own destructor releases them.
void TakeChildren(detail::ChildList& pending, detail::ChildList& children) {
  if (pending.empty()) {
    pending.swap(children);  // the common case of a chain: no allocation at all
    return;
  }
  try {
    pending.insert(pending.end(), std::make_move_iterator(children.begin()),
                   std::make_move_iterator(children.end()));
    children.clear();
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

cXmlNode::cXmlNode() = default;

// Releasing the children one by one would recurse once per level of the tree and overflow the
// stack on a deep one. Instead the subtree is taken apart here: a child that this node alone
// holds hands its own children over to the local list before it dies. Children held elsewhere
// as well (shared nodes, cycles) only lose this reference.
cXmlNode::~cXmlNode() {
  detail::SharedName::Release(name_);
  detail::ChildList pending = std::move(children_);
  while (!pending.empty()) {
    NodeRef child = std::move(pending.back());
    pending.pop_back();
    if (child.use_count() == 1 && !child->children_.empty()) {
      TakeChildren(pending, child->children_);
    }
  }
}

// Every new node shares one copy of the initial name, so creating a node allocates no text.
const std::u16string& cXmlNode::Name() const {
  static const std::u16string newNodeName(kNewNodeName);
  return name_ != nullptr ? name_->Text() : newNodeName;
}

void cXmlNode::SetName(std::u16string value) {
  detail::NodeAccess::ShareName(*this, detail::SharedName::Make(std::move(value)));
}

const std::u16string& cXmlNode::Value() const {
  return value_;
}

void cXmlNode::SetValue(std::u16string value) {
  value_ = std::move(value);
}

// The marker counts in any letter case ("<![cdata[" as well).
NodeContent cXmlNode::Content() const {
  // "<!" has no other letter case: most values are settled by their first character.
  if (value_.size() >= kCDataMarker.size() && value_[0] == u'<' && value_[1] == u'!' &&
      detail::StartsWithIgnoreCase(value_, kCDataMarker)) {
    return ContentCData;
  }
  return value_.empty() ? ContentEmpty : ContentText;
}

std::vector<PropertyPair> cXmlNode::Properties() const {
  std::vector<PropertyPair> pairs;
  if (!properties_) return pairs;
  const detail::PropertyTable& table = *properties_;
  pairs.reserve(static_cast<std::size_t>(table.Count()));
  for (std::int32_t slot = 0; slot < table.Count(); ++slot) {
    pairs.push_back({std::u16string(table.NameAt(slot)), std::u16string(table.ValueAt(slot))});
  }
  return pairs;
}

std::u16string cXmlNode::PropertyValue(std::u16string_view name,
                                       std::u16string_view defaultValue) const {
  const std::int32_t index = detail::NodeAccess::PropertyIndex(*this, name);
  return std::u16string(index == 0 ? defaultValue : properties_->ValueAt(index - 1));
}

void cXmlNode::SetPropertyValue(std::u16string_view name, std::u16string value) {
  detail::PropertyTable::Set(properties_, name, value);
}

std::int32_t cXmlNode::PropertyCount() const {
  return properties_ ? properties_->Count() : 0;
}

std::u16string cXmlNode::PropertyName(std::int32_t index) const {
  if (index < 1 || index > PropertyCount()) return {};
  return std::u16string(properties_->NameAt(index - 1));
}

std::int32_t cXmlNode::NodeCount() const {
  return static_cast<std::int32_t>(children_.size());
}

NodeRef cXmlNode::Node(std::int32_t index) const {
  if (index < 1 || index > NodeCount()) return nullptr;
  return children_[static_cast<std::size_t>(index - 1)];
}

void cXmlNode::Add(NodeRef node, std::int32_t index) {
  if (index < 0) throw std::out_of_range("cXmlNode::Add: negative position");
  if (!node) throw std::invalid_argument("cXmlNode::Add: no node");
  if (children_.size() >= kMaxChildren) throw std::length_error("cXmlNode::Add: too many children");
  if (index == 0 || index > NodeCount()) {
    children_.push_back(std::move(node));
  } else {
    children_.insert(children_.begin() + (index - 1), std::move(node));
  }
}

// A removed child is released only once the list is consistent again, so that nothing its
// release sets off can meet the list half changed.
bool cXmlNode::Remove(std::int32_t position) {
  if (position < 1 || position > NodeCount()) return false;
  const auto at = children_.begin() + (position - 1);
  const NodeRef removed = std::move(*at);
  children_.erase(at);
  return true;
}

bool cXmlNode::Remove(std::u16string_view name) {
  if (children_.capacity() == 0) return false;
  std::vector<NodeRef> removed;
  auto kept = children_.begin();
  for (auto child = children_.begin(); child != children_.end(); ++child) {
    if (detail::EqualsIgnoreCase((*child)->Name(), name)) {
      removed.push_back(std::move(*child));
    } else {
      if (kept != child) *kept = std::move(*child);
      ++kept;
    }
  }
  children_.erase(kept, children_.end());
  return true;
}

// The scan runs from the end: of a node added twice, the later occurrence goes first.
bool cXmlNode::Remove(const NodeRef& node) {
  if (children_.capacity() == 0) return false;
  const auto found = std::find(children_.rbegin(), children_.rend(), node);
  if (found != children_.rend()) Remove(static_cast<std::int32_t>(children_.rend() - found));
  return true;
}

void cXmlNode::Clear() {
  detail::ChildList released;
  released.swap(children_);
}

namespace detail {

std::int32_t NodeAccess::PropertyIndex(const cXmlNode& node, std::u16string_view name) {
  return node.properties_ ? node.properties_->Find(name) + 1 : 0;
}

void NodeAccess::SetProperty(cXmlNode& node, std::u16string_view name, std::u16string_view value) {
  PropertyTable::Set(node.properties_, name, value);
}

void NodeAccess::ReserveProperties(cXmlNode& node, std::size_t count, std::size_t characters) {
  PropertyTable::Reserve(node.properties_, count, characters);
}

void NodeAccess::SetName(cXmlNode& node, std::u16string_view name) {
  ShareName(node, SharedName::Make(std::u16string(name)));
}

void NodeAccess::ShareName(cXmlNode& node, SharedName* name) noexcept {
  SharedName::Release(std::exchange(node.name_, name));
}

void NodeAccess::AppendChild(cXmlNode& node, NodeRef child) {
  node.Add(std::move(child));
}

void NodeAccess::AdoptChildren(cXmlNode& node, std::span<NodeRef> children) {
  if (children.size() > kMaxChildren - node.children_.size()) {
    throw std::length_error("cXmlNode::Add: too many children");
  }
  node.children_.reserve(node.children_.size() + children.size());
  for (NodeRef& child : children)
    node.children_.push_back(std::move(child));
}

}  // namespace detail
}  // namespace kestrelwing
