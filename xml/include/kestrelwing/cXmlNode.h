// cXmlNode: one element of an XML tree (name, text value, properties, ordered children).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelwing {

class cXmlNode;

// Nodes are shared; a null NodeRef means "none".
using NodeRef = std::shared_ptr<cXmlNode>;

// One property as Properties() hands it out: [0] the name, [1] the value.
using PropertyPair = std::array<std::u16string, 2>;

// What a node's value holds.
enum NodeContent : std::int32_t {
  ContentUnknown = 0,  // the value could not be classified
  ContentEmpty = 1,    // the value is empty
  ContentText = 2,     // plain text
  ContentCData = 3,    // a whole CDATA section, markers included
};

// UTF-8 <-> UTF-16 for clients that hold UTF-8. Ill-formed input becomes U+FFFD; never throws.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

namespace detail {
class PropertyTable;
class SharedName;
struct NodeAccess;

// Memory for nodes and child lists: carved from the pool of the document being read, from the
// heap otherwise, aligned to 8. A block may be released on any thread.
void* AllocateNodeMemory(std::size_t bytes);
void ReleaseNodeMemory(void* block) noexcept;

// The allocator holds nothing, so a node made by std::allocate_shared (node and reference counts
// in one block) holds no copy of it either, and releasing needs no pool.
template <typename T>
class NodeMemoryAllocator {
 public:
  using value_type = T;

  NodeMemoryAllocator() = default;
  template <typename U>
  NodeMemoryAllocator(const NodeMemoryAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    static_assert(alignof(T) <= 8);
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateNodeMemory(n * sizeof(T)));
  }
  void deallocate(T* block, std::size_t) noexcept { ReleaseNodeMemory(block); }

  template <typename U>
  bool operator==(const NodeMemoryAllocator<U>&) const noexcept {
    return true;
  }
};

using ChildList = std::vector<NodeRef, NodeMemoryAllocator<NodeRef>>;
}  // namespace detail

class cXmlNode {
 public:
  cXmlNode();
  ~cXmlNode();  // releases a subtree of any depth without deep recursion
  cXmlNode(const cXmlNode&) = delete;
  cXmlNode& operator=(const cXmlNode&) = delete;

  // The element name; a new node is called "cXmlNode".
  const std::u16string& Name() const;
  void SetName(std::u16string value);

  // The element text; a CDATA section is stored whole, markers included.
  const std::u16string& Value() const;
  void SetValue(std::u16string value);

  // Classifies Value(): CDATA (marker in any letter case), empty, or text.
  NodeContent Content() const;

  // A copy of the properties in the order they were first set.
  std::vector<PropertyPair> Properties() const;
  // The value of the property of that name (letter case ignored), or defaultValue.
  std::u16string PropertyValue(std::u16string_view name,
                               std::u16string_view defaultValue = u"") const;
  // Replaces the value of the property of that name, or appends a new property.
  void SetPropertyValue(std::u16string_view name, std::u16string value);
  std::int32_t PropertyCount() const;
  // The name of the property at 1-based index; empty text outside 1..PropertyCount().
  std::u16string PropertyName(std::int32_t index) const;

  std::int32_t NodeCount() const;
  // The child at 1-based index, or none.
  NodeRef Node(std::int32_t index) const;
  // Inserts before the child at 1-based index; appends for 0 or an index past the end.
  // Throws std::out_of_range for a negative index, std::invalid_argument for a null node.
  void Add(NodeRef node, std::int32_t index = 0);
  // Removes the child at 1-based position; false when there is none.
  bool Remove(std::int32_t position);
  // Removes every child of that name (letter case ignored); false only without a child list.
  bool Remove(std::u16string_view name);
  // Removes the last occurrence of that very node; false only without a child list.
  bool Remove(const NodeRef& node);
  // Drops all children; name, value and properties stay.
  void Clear();

  // The node at the end of a path of child names ("a/b" or "a\b"), or none.
  NodeRef NodeByName(std::u16string_view path) const;
  // The direct children of that name (letter case ignored), or all of them for an empty name.
  std::vector<NodeRef> Nodes(std::u16string_view name = u"") const;
  // The first direct child of that name, optionally with that property value.
  NodeRef Search(std::u16string_view name, std::u16string_view propertyName = u"",
                 std::u16string_view propertyValue = u"") const;
  // Search, or a path walk like NodeByName when the name holds a separator. (Callers know it by
  // this name.)
  NodeRef Search2(std::u16string_view name, std::u16string_view propertyName = u"",
                  std::u16string_view propertyValue = u"") const;

 private:
  friend struct detail::NodeAccess;

  detail::SharedName* name_ = nullptr;  // none while the node has the name every new node has
  std::u16string value_;
  // The node has a child list from its first Add until Clear, which hands back the list's room:
  // the list has room exactly while there is one.
  detail::ChildList children_;
  std::unique_ptr<detail::PropertyTable> properties_;  // none until the first property
};

}  // namespace kestrelwing
