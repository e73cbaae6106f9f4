// Fast, copy-free access to a node's internals for the reader and the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include <kestrelwing/cXmlNode.h>

#include "PropertyTable.h"
#include "SharedName.h"

namespace kestrelwing::detail {

// The name every new node has.
inline constexpr std::u16string_view kNewNodeName = u"cXmlNode";

struct NodeAccess {
  // Name() without a call, for the writer.
  static std::u16string_view Name(const cXmlNode& node) {
    return node.name_ != nullptr ? std::u16string_view(node.name_->Text()) : kNewNodeName;
  }
  // The name as single bytes when it is ASCII; empty otherwise, and for the name of a new node.
  static std::string_view AsciiName(const cXmlNode& node) {
    return node.name_ != nullptr ? node.name_->Ascii() : std::string_view();
  }
  static std::span<const NodeRef> Children(const cXmlNode& node) { return node.children_; }
  // The 1-based index of the property of that name (letter case ignored), 0 when there is none.
  static std::int32_t PropertyIndex(const cXmlNode& node, std::u16string_view name);
  // The node's properties, none when it has none; for the writer, which reads every one.
  static const PropertyTable* Properties(const cXmlNode& node) { return node.properties_.get(); }
  // 1-based, as PropertyName(); index must lie in 1..PropertyCount().
  static std::u16string_view PropertyValueAt(const cXmlNode& node, std::int32_t index) {
    return node.properties_->ValueAt(index - 1);
  }
  // The same rules as SetPropertyValue (first spelling kept, letter case ignored), without copies.
  static void SetProperty(cXmlNode& node, std::u16string_view name, std::u16string_view value);
  // Makes room for count more properties holding characters name and value characters in all,
  // so that the reader sets an element's attributes with one allocation.
  static void ReserveProperties(cXmlNode& node, std::size_t count, std::size_t characters);
  // PropertyTable::Adopt for the node's properties.
  static bool AdoptProperties(cXmlNode& node, std::u16string_view text,
                              std::span<const std::uint32_t> lengths) {
    return PropertyTable::Adopt(node.properties_, text, lengths);
  }
  // PropertyTable::AdoptAscii for the node's properties.
  static bool AdoptAsciiProperties(cXmlNode& node, std::span<const std::string_view> pairs,
                                   std::uint32_t rewritten, PropertyTable::Rewrite rewrite) {
    return PropertyTable::AdoptAscii(node.properties_, pairs, rewritten, rewrite);
  }
  static void SetName(cXmlNode& node, std::u16string_view name);
  static void ClearProperties(cXmlNode& node) { node.properties_.reset(); }
  static void SetKind(cXmlNode& node, NodeKind kind) {
    node.kind_ = static_cast<std::uint8_t>(kind);
  }
  // Gives the node name, which the caller held once and now hands over.
  static void ShareName(cXmlNode& node, SharedName* name) noexcept;
  // Room for a value of units characters (none for 0), from the pool while a document is read.
  static char16_t* NewValue(std::size_t units);
  // Gives the node the value text, units long, taken from NewValue; releases the old value.
  static void ReplaceValue(cXmlNode& node, char16_t* text, std::size_t units) noexcept;
  // Appends all of children (moved out) to the node's child list, growing it once.
  static void AdoptChildren(cXmlNode& node, std::span<NodeRef> children);
  // Moves the properties into a table of exactly the room they need.
  static void CompactProperties(cXmlNode& node) { PropertyTable::Compact(node.properties_); }
};

}  // namespace kestrelwing::detail
