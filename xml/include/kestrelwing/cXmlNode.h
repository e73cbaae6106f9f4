// cXmlNode: one node of an XML tree: an element (name, text value, properties, ordered children),
// or, in a document read as XML 1.0, a text run, CDATA section, comment, processing instruction or
// document type beside the elements.
//
// Failures: a member that cannot do what it is asked answers a neutral value (0, empty text, a
// null NodeRef, an empty collection, false, or the caller's default) and changes nothing. Only
// misuse throws, always an exception derived from std::logic_error: Add with a negative position
// (std::out_of_range) or a null node (std::invalid_argument), and a value, a property table or a
// child list past the 32-bit counts (std::length_error). Any member that builds text or a
// collection may also throw std::bad_alloc when memory runs out.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelwing {

class cXmlNode;

namespace detail {
class PropertyTable;
class SharedName;
struct NodeAccess;

// Memory for nodes, their values and their child lists: carved from the pool of the document
// being read, from the heap otherwise, aligned to 8. A block may be released on any thread.
void* AllocateNodeMemory(std::size_t bytes);
void ReleaseNodeMemory(void* block) noexcept;
}  // namespace detail

// A shared reference to a node; a null NodeRef means "none". A node lives as long as any
// NodeRef holds it, and the count sits in the node itself, so a reference is one pointer. It is
// used like a std::shared_ptr (get, reset, use_count, comparison with another NodeRef or nullptr);
// copies may be made and dropped on different threads at once.
class NodeRef {
 public:
  NodeRef() noexcept = default;
  NodeRef(std::nullptr_t) noexcept {}
  NodeRef(const NodeRef& other) noexcept;
  NodeRef(NodeRef&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
  NodeRef& operator=(NodeRef other) noexcept {
    swap(other);
    return *this;
  }
  ~NodeRef();

  cXmlNode* get() const noexcept { return node_; }
  cXmlNode& operator*() const noexcept { return *node_; }
  cXmlNode* operator->() const noexcept { return node_; }
  explicit operator bool() const noexcept { return node_ != nullptr; }
  void reset() noexcept { NodeRef().swap(*this); }
  void swap(NodeRef& other) noexcept { std::swap(node_, other.node_); }
  // The number of NodeRefs that hold the node, 0 for none.
  long use_count() const noexcept;

  friend bool operator==(const NodeRef& a, const NodeRef& b) noexcept { return a.node_ == b.node_; }
  friend bool operator==(const NodeRef& ref, std::nullptr_t) noexcept {
    return ref.node_ == nullptr;
  }

 private:
  friend NodeRef MakeNode();
  friend struct detail::NodeAccess;
  // Takes over a reference the node already counts.
  explicit NodeRef(cXmlNode* adopted) noexcept : node_(adopted) {}
  // Ends a node whose last reference went.
  static void Destroy(cXmlNode* node) noexcept;

  cXmlNode* node_ = nullptr;
};

// A new node, named "cXmlNode", with no value, properties or children.
NodeRef MakeNode();

// One property as Properties() hands it out: [0] the name, [1] the value.
using PropertyPair = std::array<std::u16string, 2>;

// What a node's value holds.
enum NodeContent : std::int32_t {
  ContentUnknown = 0,  // never returned: every value is empty, text or CDATA
  ContentEmpty = 1,    // the value is empty
  ContentText = 2,     // plain text
  ContentCData = 3,    // a whole CDATA section, markers included
};

// What a node is, numbered as the DOM numbers its node types. A document read in the library's
// dialect, and every node made by MakeNode(), holds elements only; the other kinds come from a
// document read as XML 1.0 (cXml::SetSyntax) or from MakeNode(kind). The name queries (NodeByName,
// Nodes, Search, Search2) find elements only.
enum NodeKind : std::int32_t {
  KindElement = 1,
  KindText = 3,                   // a run of character data beside other children; Value() is it
  KindCData = 4,                  // a CDATA section; Value() is its content, without markers
  KindProcessingInstruction = 7,  // Name() is the target, Value() the rest after white space
  KindComment = 8,                // Value() is the text between "<!--" and "-->"
  // Name() is the root element's name; the properties "PUBLIC" and "SYSTEM" hold the external
  // identifier's literals when there is one, Value() the internal subset as written, without [].
  KindDocumentType = 10,
};

// A new node of that kind, named as the DOM names it ("#text", "#cdata-section", "#comment") or
// "cXmlNode" for the kinds that carry their own name, with no value, properties or children.
NodeRef MakeNode(NodeKind kind);

// UTF-8 <-> UTF-16 for clients that hold UTF-8. Ill-formed input becomes U+FFFD; never throws.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

namespace detail {
// The children of a node, each held once: a block of node memory with its size and room.
class ChildList {
 public:
  ChildList() noexcept = default;
  ChildList(ChildList&& other) noexcept
      : items_(std::exchange(other.items_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  ChildList& operator=(ChildList&&) = delete;
  ~ChildList();

  NodeRef* begin() noexcept { return items_; }
  NodeRef* end() noexcept { return items_ + size_; }
  const NodeRef* begin() const noexcept { return items_; }
  const NodeRef* end() const noexcept { return items_ + size_; }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  NodeRef& operator[](std::size_t index) noexcept { return items_[index]; }
  const NodeRef& operator[](std::size_t index) const noexcept { return items_[index]; }

  // Room for at least count children in all; throws std::length_error past the largest list.
  void reserve(std::size_t count);
  void insert(std::size_t index, NodeRef node);
  void push_back(NodeRef node) { insert(size_, std::move(node)); }
  // Moves all of nodes to the end, growing the list at most once.
  void append(std::span<NodeRef> nodes);
  void pop_back() noexcept { items_[--size_].~NodeRef(); }
  // Removes the children from index on.
  void truncate(std::size_t index) noexcept;
  void erase(std::size_t index) noexcept;
  void swap(ChildList& other) noexcept;

 private:
  void MakeRoom(std::size_t extra);

  NodeRef* items_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};
}  // namespace detail

class cXmlNode {
 public:
  cXmlNode();
  ~cXmlNode();  // releases a subtree of any depth without deep recursion
  cXmlNode(const cXmlNode&) = delete;
  cXmlNode& operator=(const cXmlNode&) = delete;

  // What the node is; KindElement for every node of the dialect.
  NodeKind Kind() const { return static_cast<NodeKind>(kind_); }

  // The element name; a new node is called "cXmlNode".
  const std::u16string& Name() const;
  void SetName(std::u16string value);

  // The element text; a CDATA section is stored whole, markers included. The view lasts until
  // the value next changes or the node goes.
  std::u16string_view Value() const { return {value_, valueLength_}; }
  void SetValue(std::u16string_view value);

  // Classifies Value(): CDATA (marker in any letter case), empty, or text. Inline for the values
  // that a first character settles, as nearly all are. Of a node that is not an element the
  // value is never classified: ContentCData for a CDATA section, ContentText for the other kinds
  // (ContentEmpty for an empty value).
  NodeContent Content() const {
    if (valueLength_ == 0) return ContentEmpty;
    return value_[0] == u'<' || kind_ != KindElement ? ContentFromMarkup() : ContentText;
  }

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
  // Removes every child element of that name (letter case ignored); false only without a child
  // list.
  bool Remove(std::u16string_view name);
  // Removes the last occurrence of that very node; false only without a child list.
  bool Remove(const NodeRef& node);
  // Drops all children; name, value and properties stay.
  void Clear();

  // The element at the end of a path of child element names ("a/b" or "a\b"), or none.
  NodeRef NodeByName(std::u16string_view path) const;
  // The direct child elements of that name (letter case ignored), or all of them for an empty
  // name.
  std::vector<NodeRef> Nodes(std::u16string_view name = u"") const;
  // The first direct child element of that name, optionally with that property value.
  NodeRef Search(std::u16string_view name, std::u16string_view propertyName = u"",
                 std::u16string_view propertyValue = u"") const;
  // Search, or a path walk like NodeByName when the name holds a separator. (Callers know it by
  // this name.)
  NodeRef Search2(std::u16string_view name, std::u16string_view propertyName = u"",
                  std::u16string_view propertyValue = u"") const;

 private:
  // Content() of a value that starts with '<', or of a node that is not an element.
  NodeContent ContentFromMarkup() const;
  friend class NodeRef;
  friend NodeRef MakeNode();
  friend NodeRef MakeNode(NodeKind kind);
  friend struct detail::NodeAccess;

  // Counted by NodeRef; 0 for a node that no NodeRef made (one on the stack).
  std::atomic<std::uint32_t> references_{0};
  std::uint32_t valueLength_ = 0;
  detail::SharedName* name_ = nullptr;  // none while the node has the name every new node has
  char16_t* value_ = nullptr;           // node memory of exactly valueLength_ units; none if empty
  // The node has a child list from its first Add until Clear, which hands back the list's room:
  // the list has room exactly while there is one.
  detail::ChildList children_;
  std::unique_ptr<detail::PropertyTable> properties_;  // none until the first property
  std::uint8_t kind_ = KindElement;
};

inline NodeRef::NodeRef(const NodeRef& other) noexcept : node_(other.node_) {
  if (node_ != nullptr) node_->references_.fetch_add(1, std::memory_order_relaxed);
}

inline NodeRef::~NodeRef() {
  if (node_ != nullptr && node_->references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    Destroy(node_);
  }
}

inline long NodeRef::use_count() const noexcept {
  return node_ != nullptr ? static_cast<long>(node_->references_.load(std::memory_order_relaxed))
                          : 0;
}

}  // namespace kestrelwing
