#include <kestrelwing/cXmlNode.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "CaseFold.h"
#include "NodeAccess.h"
#include "PropertyTable.h"
#include "SharedName.h"

namespace kestrelwing {
namespace {

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
    pending.append({children.begin(), children.end()});
  } catch (const std::exception&) {
    return;
  }
  children.truncate(0);
}

}  // namespace

NodeRef MakeNode() {
  cXmlNode* node = new (detail::AllocateNodeMemory(sizeof(cXmlNode))) cXmlNode;
  node->references_.store(1, std::memory_order_relaxed);
  return NodeRef(node);
}

NodeRef MakeNode(NodeKind kind) {
  NodeRef node = MakeNode();
  node->kind_ = static_cast<std::uint8_t>(kind);
  switch (kind) {
    case KindText:
      node->SetName(u"#text");
      break;
    case KindCData:
      node->SetName(u"#cdata-section");
      break;
    case KindComment:
      node->SetName(u"#comment");
      break;
    default:
      break;
  }
  return node;
}

void NodeRef::Destroy(cXmlNode* node) noexcept {
  node->~cXmlNode();
  detail::ReleaseNodeMemory(node);
}

cXmlNode::cXmlNode() = default;

// Releasing the children one by one would recurse once per level of the tree and overflow the
// stack on a deep one. Instead the subtree is taken apart here: a child that this node alone
// holds hands its own children over to the local list before it dies. Children held elsewhere
// as well (shared nodes, cycles) only lose this reference.
cXmlNode::~cXmlNode() {
  detail::SharedName::Release(name_);
  if (value_ != nullptr) detail::ReleaseNodeMemory(value_);
  detail::ChildList pending(std::move(children_));
  while (!pending.empty()) {
    NodeRef child = std::move(pending[pending.size() - 1]);
    pending.pop_back();
    if (child.use_count() == 1 && !child->children_.empty()) {
      TakeChildren(pending, child->children_);
    }
  }
}

// Every new node shares one copy of the initial name, so creating a node allocates no text.
const std::u16string& cXmlNode::Name() const {
  static const std::u16string newNodeName(detail::kNewNodeName);
  return name_ != nullptr ? name_->Text() : newNodeName;
}

void cXmlNode::SetName(std::u16string value) {
  detail::NodeAccess::ShareName(*this, detail::SharedName::Make(std::move(value)));
}

// value may be a view of the node's own value: it is copied before the old one goes.
void cXmlNode::SetValue(std::u16string_view value) {
  char16_t* text = detail::NodeAccess::NewValue(value.size());
  std::copy(value.begin(), value.end(), text);
  detail::NodeAccess::ReplaceValue(*this, text, value.size());
}

// The marker counts in any letter case ("<![cdata[" as well); "<!" has no other letter case.
// The value of a node of another kind is what that kind holds, whatever its first character.
NodeContent cXmlNode::ContentFromMarkup() const {
  if (kind_ != KindElement) return kind_ == KindCData ? ContentCData : ContentText;
  const std::u16string_view value = Value();
  if (value.size() >= kCDataMarker.size() && value[1] == u'!' &&
      detail::StartsWithIgnoreCase(value, kCDataMarker)) {
    return ContentCData;
  }
  return ContentText;
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
  const std::size_t at =
      index == 0 || index > NodeCount() ? children_.size() : static_cast<std::size_t>(index - 1);
  children_.insert(at, std::move(node));
}

bool cXmlNode::Remove(std::int32_t position) {
  if (position < 1 || position > NodeCount()) return false;
  children_.erase(static_cast<std::size_t>(position - 1));
  return true;
}

bool cXmlNode::Remove(std::u16string_view name) {
  if (children_.capacity() == 0) return false;
  std::vector<NodeRef> removed;
  std::size_t kept = 0;
  for (NodeRef& child : children_) {
    if (child->Kind() == KindElement && detail::EqualsIgnoreCase(child->Name(), name)) {
      removed.push_back(std::move(child));
    } else {
      children_[kept++] = std::move(child);
    }
  }
  children_.truncate(kept);
  return true;
}

// The scan runs from the end: of a node added twice, the later occurrence goes first.
bool cXmlNode::Remove(const NodeRef& node) {
  if (children_.capacity() == 0) return false;
  for (std::size_t i = children_.size(); i > 0; --i) {
    if (children_[i - 1] == node) {
      children_.erase(i - 1);
      break;
    }
  }
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

void NodeAccess::AdoptChildren(cXmlNode& node, std::span<NodeRef> children) {
  node.children_.append(children);
}

char16_t* NodeAccess::NewValue(std::size_t units) {
  if (units > UINT32_MAX) throw std::length_error("cXmlNode: value too long");
  if (units == 0) return nullptr;
  return static_cast<char16_t*>(AllocateNodeMemory(units * sizeof(char16_t)));
}

void NodeAccess::ReplaceValue(cXmlNode& node, char16_t* text, std::size_t units) noexcept {
  if (node.value_ != nullptr) ReleaseNodeMemory(node.value_);
  node.value_ = text;
  node.valueLength_ = static_cast<std::uint32_t>(units);
}

// The children are NodeRefs in a block of node memory. A NodeRef is a single pointer, so moving
// them is cheap, and a moved-from one holds nothing.
ChildList::~ChildList() {
  truncate(0);
  if (items_ != nullptr) ReleaseNodeMemory(items_);
}

void ChildList::reserve(std::size_t count) {
  if (count <= capacity_) return;
  if (count > kMaxChildren) throw std::length_error("cXmlNode::Add: too many children");
  auto* const fresh = static_cast<NodeRef*>(AllocateNodeMemory(count * sizeof(NodeRef)));
  std::uninitialized_move(begin(), end(), fresh);
  std::destroy(begin(), end());
  if (items_ != nullptr) ReleaseNodeMemory(items_);
  items_ = fresh;
  capacity_ = static_cast<std::uint32_t>(count);
}

void ChildList::insert(std::size_t index, NodeRef node) {
  MakeRoom(1);
  new (end()) NodeRef();
  ++size_;
  std::move_backward(begin() + index, end() - 1, end());
  items_[index] = std::move(node);
}

// An empty list gets exactly the room asked for; a longer one grows at least twofold, so that
// adding n children one at a time moves O(n) of them.
void ChildList::MakeRoom(std::size_t extra) {
  if (extra <= capacity_ - size_) return;
  reserve(std::max(size_ + extra, std::min(2 * std::size_t{size_}, kMaxChildren)));
}

void ChildList::append(std::span<NodeRef> nodes) {
  MakeRoom(nodes.size());
  std::uninitialized_move(nodes.begin(), nodes.end(), end());
  size_ += static_cast<std::uint32_t>(nodes.size());
}

// A removed child is released only once the list is consistent again, so that nothing its
// release sets off can meet the list half changed.
void ChildList::erase(std::size_t index) noexcept {
  const NodeRef removed = std::move(items_[index]);
  std::move(begin() + index + 1, end(), begin() + index);
  pop_back();
}

void ChildList::truncate(std::size_t index) noexcept {
  while (size_ > index) {
    const NodeRef removed = std::move(items_[size_ - 1]);
    pop_back();
  }
}

void ChildList::swap(ChildList& other) noexcept {
  std::swap(items_, other.items_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

}  // namespace detail
}  // namespace kestrelwing
